#pragma once

#include "dialogs/entry_dialog.h"

namespace kvillo {

// The Add dialog: a new entry at the end of the address book.
class TForm3 : public EntryDialog
{
    Q_OBJECT
public:
    explicit TForm3(EntryDialogContext context);
};

} // namespace kvillo
