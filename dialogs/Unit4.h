#pragma once

#include "dialogs/entry_dialog.h"

namespace kvillo {

// The Edit dialog: opens on the selected entry and replaces the entry selected when OK is pressed.
class TForm4 : public EntryDialog
{
    Q_OBJECT
public:
    explicit TForm4(TForm1 &form);

protected:
    void FormCreate();
    void BitBtn1Click() override;
};

} // namespace kvillo
