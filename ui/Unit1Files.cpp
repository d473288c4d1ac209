// The main window's commands that work on files and dialogs of their own: backup, restore,
// printing and the About dialog. What happens to the files, the document does.

#include "ui/Unit1.h"

#include "desktop/platform.h"
#include "dialogs/Unit2.h"
#include "print/print_command.h"

namespace kvillo {

namespace {

const QString kBackupFilter = QStringLiteral("Резервная копия (*.bak)|*.bak|Все файлы (*.*)|*.*");

// The data core takes paths as UTF-8, on every system.
std::string localPath(const QString &name)
{
    return name.toStdString();
}

} // namespace

// "О программе"
void TForm1::Action5Execute()
{
    TAboutBox about(m_platform, this);
    m_platform.execDialog(about);
}

// "Создать" (backup), Ctrl+S: copies of both data files where the user chooses
void TForm1::Action13Execute()
{
    const QString caption = QStringLiteral("Резервирование данных");
    // A close or a shut-down while a dialog is open ends the backup there.
    const int closes = m_closeRequests;
    const auto ask = [&](const QString &text) {
        m_platform.showMessage(caption, text, Platform::Buttons::Ok);
        return m_closeRequests == closes;
    };
    const auto copyOut = [&](ListId id) {
        const std::optional<QString> chosen = m_platform.saveFileName(this, kBackupFilter, m_lastSaveName);
        if (m_closeRequests != closes)
            return false;
        if (chosen) {
            m_lastSaveName = *chosen;
            m_book.backUp(id, localPath(*chosen + QStringLiteral(".bak")));
        }
        return true;
    };
    if (ask(QStringLiteral("Нажмите ОК после чего выберите место для сохранения e-mail Адресной книги."))
        && copyOut(ListId::Mails) && ask(QStringLiteral("Выберите место для сохранения описаний Адресной книги."))
        && copyOut(ListId::Descriptions))
        m_platform.showMessage(caption, QStringLiteral("Сохранение прошло успешно!"), Platform::Buttons::Ok);
}

// "Восстановить": both data files from backups the user chooses, then shown
void TForm1::Action14Execute()
{
    const QString caption = QStringLiteral("Восстановление данных");
    // Both chosen files are read before either data file is replaced; the document puts back what
    // a failed restore had replaced. A close or a shut-down while a dialog is open has saved the
    // book as it is: the restore is then cancelled.
    const int closes = m_closeRequests;
    const auto closed = [&] { return m_closeRequests != closes; };
    const auto readChosen = [&]() -> std::optional<std::string> {
        const std::optional<QString> chosen = m_platform.openFileName(this, kBackupFilter, m_lastOpenName);
        if (!chosen || closed())
            return std::nullopt;
        m_lastOpenName = *chosen;
        return m_book.readBackup(localPath(*chosen));
    };
    m_platform.showMessage(caption,
        QStringLiteral("Нажмите ОК и выберите файл из которого надо загрузить описания Адресной книги"),
        Platform::Buttons::Ok);
    if (closed())
        return;
    const std::optional<std::string> descriptions = readChosen();
    if (closed())
        return;
    m_platform.showMessage(
        caption, QStringLiteral("Сейчас Вам надо загрузить файл с e-mail Адресной книги"), Platform::Buttons::Ok);
    if (closed())
        return;
    const std::optional<std::string> mails = readChosen();
    if (closed())
        return;

    saving([&] { m_book.restore(descriptions, mails); });

    m_platform.showMessage(caption, QStringLiteral("Восстановление прошло успешно!"), Platform::Buttons::Ok);
    loadList(ListId::Mails);
    loadList(ListId::Descriptions);
}

// "Печать", Ctrl+A
void TForm1::Action15Execute()
{
    printAddressList(
        this, m_platform, m_book.scratch(), m_book.lists(), [this] { setStatusText(0, QStringLiteral("Печать...")); });
}

} // namespace kvillo
