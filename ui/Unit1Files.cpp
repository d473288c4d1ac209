// The main window's commands that work on files and dialogs of their own: backup, restore,
// printing and the About dialog.

#include "ui/Unit1.h"

#include "data/errors.h"
#include "data/system.h"
#include "dialogs/Unit2.h"
#include "ui/platform.h"
#include "ui/print_command.h"

namespace kvillo {

namespace {

const QString kBackupFilter = QStringLiteral("Резервная копия (*.bak)|*.bak|Все файлы (*.*)|*.*");

// The data core takes paths as UTF-8, on every system.
std::string localPath(const QString &name)
{
    return name.toStdString();
}

} // namespace

void TForm1::Action5Execute()
{
    TAboutBox about(m_platform, this);
    m_platform.execDialog(about);
}

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
            Memo1.clear();
            Memo1.loadFromFile(m_store.dataPath(id));
            Memo1.saveToFile(localPath(*chosen + QStringLiteral(".bak")));
        }
        return true;
    };
    if (ask(QStringLiteral("Нажмите ОК после чего выберите место для сохранения e-mail Адресной книги."))
        && copyOut(ListId::Mails) && ask(QStringLiteral("Выберите место для сохранения описаний Адресной книги."))
        && copyOut(ListId::Descriptions))
        m_platform.showMessage(caption, QStringLiteral("Сохранение прошло успешно!"), Platform::Buttons::Ok);
}

void TForm1::Action14Execute()
{
    const QString caption = QStringLiteral("Восстановление данных");
    // Both chosen files are read before either data file is replaced, and a data file replaced
    // before a later step fails is put back: a restore happens whole or not at all. A close or a
    // shut-down while a dialog is open has saved the book as it is: the restore is then cancelled.
    const int closes = m_closeRequests;
    const auto closed = [&] { return m_closeRequests != closes; };
    const auto readChosen = [&]() -> std::optional<std::string> {
        const std::optional<QString> chosen = m_platform.openFileName(this, kBackupFilter, m_lastOpenName);
        if (!chosen || closed())
            return std::nullopt;
        m_lastOpenName = *chosen;
        Memo1.clear();
        Memo1.loadFromFile(localPath(*chosen));
        return Memo1.text();
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

    if (descriptions) {
        std::optional<std::string> previous;
        if (mails) {
            try {
                previous = sys::readFile(m_store.dataPath(ListId::Descriptions));
            } catch (const Error &) {
                // Nothing readable to put back; an unloaded file is kept aside by the store.
            }
        }
        m_store.replaceData(ListId::Descriptions, *descriptions);
        if (mails) {
            try {
                m_store.replaceData(ListId::Mails, *mails);
            } catch (...) {
                if (previous)
                    m_store.replaceData(ListId::Descriptions, *previous);
                throw;
            }
        }
    } else if (mails) {
        m_store.replaceData(ListId::Mails, *mails);
    }

    m_platform.showMessage(caption, QStringLiteral("Восстановление прошло успешно!"), Platform::Buttons::Ok);
    loadList(ListId::Mails);
    loadList(ListId::Descriptions);
}

void TForm1::Action15Execute()
{
    printAddressList(this, m_platform, Memo1, m_book, [this] { setStatusText(0, QStringLiteral("Печать...")); });
}

} // namespace kvillo
