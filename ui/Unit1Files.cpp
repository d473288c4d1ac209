// The main window's commands that work on files and dialogs of their own: backup, restore,
// printing and the About dialog. What happens to the files, the document does.

#include "ui/Unit1.h"

#include "desktop/platform.h"
#include "dialogs/Unit2.h"
#include "print/print_command.h"
#include "ui/line_list_model.h"
#include "ui/main_window_texts.h"

#include <QDir>
#include <QFileInfo>

#include <cstdint>

namespace kvillo {

namespace {

const QString kBackupFilter = QStringLiteral("Резервная копия (*.bak)|*.bak|Все файлы (*.*)|*.*");

// The data core takes paths as UTF-8, on every system.
std::string localPath(const QString &name)
{
    return name.toStdString();
}

// Whether writing one name would write the other's file (the same name, or a link to it).
bool sameFile(const QString &one, const QString &other)
{
    const QFileInfo first(one);
    const QFileInfo second(other);
    if (first.exists() && second.exists())
        return first.canonicalFilePath() == second.canonicalFilePath();
    return first.absoluteFilePath() == second.absoluteFilePath();
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
    // A close or a shut-down while a dialog or a box is open ends the backup there.
    const int closes = m_closeRequests;
    const auto open = [&] { return m_closeRequests == closes; };
    const auto ask = [&](const QString &text) {
        m_platform.showMessage(caption, text, Platform::Buttons::Ok);
        return open();
    };
    // The file the mails went to: the descriptions must not be written over it.
    QString mailsBackup;
    // Asks until a name whose file may be written is chosen; the file written gets ".bak" added,
    // so the question whether to replace it is about that file, not about the name chosen.
    const auto copyOut = [&](ListId id) {
        for (;;) {
            const std::optional<QString> chosen = m_platform.saveFileName(this, kBackupFilter, m_lastSaveName);
            if (!open())
                return false;
            if (!chosen)
                return true;
            m_lastSaveName = *chosen;
            const QString target = *chosen + QStringLiteral(".bak");
            if (!mailsBackup.isEmpty() && sameFile(target, mailsBackup)) {
                if (!ask(QStringLiteral("В файл «%1» только что сохранены адреса e-mail: описания записали бы "
                                        "поверх них. Выберите для описаний другое имя файла.")
                             .arg(QDir::toNativeSeparators(target))))
                    return false;
                continue;
            }
            if (QFileInfo::exists(target)) {
                const bool replace = m_platform.askYesNo(
                    QStringLiteral("Файл «%1» уже существует.\nЗаменить его?").arg(QDir::toNativeSeparators(target)));
                if (!open())
                    return false;
                if (!replace)
                    continue;
            }
            m_book.backUp(id, localPath(target));
            if (id == ListId::Mails)
                mailsBackup = target;
            return true;
        }
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
    // Both chosen files are read before either data file is replaced, and both are replaced as one
    // commit. A close or a shut-down while a dialog or a box is open has saved the book as it is,
    // and an import handed over meanwhile has saved its entries: the restore is then cancelled,
    // so that it does not undo them.
    const int closes = m_closeRequests;
    const std::uint64_t saves = m_book.saves();
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

    // Files that would not pair line by line are restored only when the user insists.
    const AddressBook::RestoreCheck check = m_book.checkRestore(descriptions, mails);
    if (!check.inStep()
        && !m_platform.askYesNo(mainWindowText::restoreQuestion(check, descriptions.has_value(), mails.has_value())))
        return;
    if (closed())
        return;
    if (m_book.saves() != saves) {
        m_platform.showMessage(caption,
            QStringLiteral("Пока выбирались файлы, в адресную книгу были добавлены записи. Чтобы они не пропали, "
                           "восстановление отменено: данные не изменены."),
            Platform::Buttons::Ok);
        return;
    }

    // The lists follow the files before anything else can happen: whatever saves from here on
    // (a close, an import handed over while the box below is open) saves the restored book.
    saving([&] { m_book.restore(descriptions, mails); });
    m_platform.showMessage(caption, QStringLiteral("Восстановление прошло успешно!"), Platform::Buttons::Ok);
}

// "Печать", Ctrl+A
void TForm1::Action15Execute()
{
    m_book.report([this](ScratchBuffer &memo, const BookLists &lists) {
        printAddressList(this, m_platform, memo, lists, [this] { setStatusText(0, QStringLiteral("Печать...")); });
    });
}

} // namespace kvillo
