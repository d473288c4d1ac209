#include "dialogs/Unit4.h"

#include "desktop/guard.h"
#include "desktop/text.h"

namespace kvillo {

TForm4::TForm4(EntryDialogContext context, const SelectedText &selected)
    : EntryDialog(std::move(context), QStringLiteral("Изменить"), QSize(215, 175), QRect(120, 144, 73, 25))
{
    setObjectName(QStringLiteral("Form4"));
    guarded(m_context.platform, [&] { FormCreate(selected); });
}

void TForm4::FormCreate(const SelectedText &selected)
{
    Edit1->setText(fromStored(selected(ListId::Mails)));
    Edit2->setText(fromStored(selected(ListId::Descriptions)));
}

} // namespace kvillo
