#pragma once

#include "book/address_store.h"
#include "dialogs/entry_dialog.h"

#include <string_view>

namespace kvillo {

// The Edit dialog: opens on the texts of the selected entry; OK hands the texts to the apply
// callback, which replaces the entry the dialog was opened on.
class TForm4 : public EntryDialog
{
    Q_OBJECT
public:
    // `selected` gives the selected text of a list; it throws when that list has no selection.
    using SelectedText = std::function<std::string_view(ListId)>;
    TForm4(EntryDialogContext context, const SelectedText &selected);

private:
    void FormCreate(const SelectedText &selected);
};

} // namespace kvillo
