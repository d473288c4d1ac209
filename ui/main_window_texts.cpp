#include "ui/main_window_texts.h"

#include <QDir>

namespace kvillo::mainWindowText {

QString damageMessage()
{
    return QStringLiteral("Файлы программы повреждены или были перемечены/удалены! Требуется переустановка программы "
                          "или восстановление.");
}

QString damageCaption()
{
    return QStringLiteral("Ошибка в программе");
}

QString recoveryQuestion(const QString &folder)
{
    return QStringLiteral("Записи адресной книги не удалось сохранить. Всё равно выйти из программы?\n\n"
                          "Перед выходом все записи будут сохранены в папку\n%1")
        .arg(QDir::toNativeSeparators(folder));
}

QString restoreQuestion(const AddressBook::RestoreCheck &check, bool descriptionsChosen, bool mailsChosen)
{
    // A file not chosen stays as it is: it is the book's own file that the other is compared with.
    const QString descriptionsFile
        = descriptionsChosen ? QStringLiteral("выбранном файле описаний") : QStringLiteral("нынешнем файле описаний");
    const QString mailsFile = mailsChosen ? QStringLiteral("выбранном файле адресов e-mail")
                                          : QStringLiteral("нынешнем файле адресов e-mail");
    QString text = QStringLiteral("После восстановления описания не будут соответствовать адресам e-mail.\n\n"
                                  "Строк в %1: %2, в %3: %4.")
                       .arg(descriptionsFile, QString::number(check.descriptionLines), mailsFile,
                           QString::number(check.mailLines));
    if (check.mailsWithoutAt)
        text += QStringLiteral("\nВ %1 нет ни одного знака «@», а в %2 он есть: похоже, файлы выбраны в обратном "
                               "порядке (сначала выбирается файл описаний, затем файл адресов).")
                    .arg(mailsFile, descriptionsFile);
    return text + QStringLiteral("\n\nВсё равно восстановить?");
}

} // namespace kvillo::mainWindowText
