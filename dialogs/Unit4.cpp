#include "dialogs/Unit4.h"

#include "ui/Unit1.h"
#include "ui/guard.h"
#include "ui/text.h"

namespace kvillo {

TForm4::TForm4(TForm1 &form)
    : EntryDialog(form, QStringLiteral("Изменить"), QSize(215, 175), QRect(120, 144, 73, 25))
{
    setObjectName(QStringLiteral("Form4"));
    guarded(form.platform(), [this] { FormCreate(); });
}

void TForm4::FormCreate()
{
    Edit1->setText(fromStored(m_form.itemAt(ListId::Mails, m_form.currentIndex(ListId::Mails))));
    Edit2->setText(fromStored(m_form.itemAt(ListId::Descriptions, m_form.currentIndex(ListId::Descriptions))));
}

void TForm4::BitBtn1Click()
{
    const std::optional<Texts> texts = storableTexts();
    if (!texts)
        return;
    m_form.replaceAtCurrent(ListId::Descriptions, texts->description);
    m_form.replaceAtCurrent(ListId::Mails, texts->mail);
    m_form.saveList(ListId::Mails);
    m_form.saveList(ListId::Descriptions);
    close();
}

} // namespace kvillo
