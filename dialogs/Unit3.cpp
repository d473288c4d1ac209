#include "dialogs/Unit3.h"

#include "ui/Unit1.h"

namespace kvillo {

TForm3::TForm3(TForm1 &form)
    : EntryDialog(form, QStringLiteral("Добавить"), QSize(217, 176), QRect(112, 144, 81, 25))
{
    setObjectName(QStringLiteral("Form3"));
}

void TForm3::BitBtn1Click()
{
    const std::optional<Texts> texts = storableTexts();
    if (!texts)
        return;
    m_form.appendEntry(texts->description, texts->mail);
    m_form.saveList(ListId::Mails);
    m_form.saveList(ListId::Descriptions);
    close();
}

} // namespace kvillo
