// The main window's commands: the actions, the menu bar, the lists' context menu and the toolbar.

#include "ui/Unit1.h"

#include "desktop/addresses.h"
#include "desktop/guard.h"
#include "desktop/icons.h"
#include "desktop/platform.h"
#include "desktop/text.h"
#include "dialogs/Unit3.h"
#include "dialogs/Unit4.h"
#include "ui/line_list_model.h"
#include "ui/list_box.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

#include <optional>

namespace kvillo {

namespace {

// A menu's entries: commands, and separators between them.
using MenuEntries = std::initializer_list<std::optional<Command>>;
constexpr std::nullopt_t separator = std::nullopt;

void fillMenu(QMenu *menu, MenuEntries entries, const std::function<QAction *(Command)> &action)
{
    for (const std::optional<Command> &entry : entries) {
        if (entry)
            menu->addAction(action(*entry));
        else
            menu->addSeparator();
    }
}

QString selectionNotice()
{
    return QStringLiteral("Выберите пункт!");
}

// "mailto:" and the address, with the characters that would add header fields or further
// recipients percent-encoded, and the percent sign itself.
QString mailtoAddress(const QString &address)
{
    QString encoded;
    encoded.reserve(address.size());
    for (const QChar ch : address) {
        if (QStringView(u"%?&#,;").contains(ch))
            encoded += QLatin1Char('%') + QString::number(ch.unicode(), 16).toUpper();
        else
            encoded += ch;
    }
    return QStringLiteral("mailto:") + encoded;
}

} // namespace

void TForm1::createActions()
{
    const struct
    {
        Command command;
        const char *category;
        const char *caption;
        QKeyCombination shortcut;
        int image;
        void (TForm1::*execute)();
    } commands[] = {
        {Command::MinimizeToTray, "Файл", "Свернуть в трей", {}, 10, &TForm1::Action1Execute},
        {Command::Print, "Файл", "Печать", Qt::CTRL | Qt::Key_A, 19, &TForm1::Action15Execute},
        {Command::Exit, "Файл", "Выход", Qt::CTRL | Qt::Key_X, 3, &TForm1::Action12Execute},
        {Command::Add, "Правка", "Добавить", Qt::CTRL | Qt::Key_V, 6, &TForm1::Action6Execute},
        {Command::Copy, "Правка", "Копировать", Qt::CTRL | Qt::Key_C, 8, &TForm1::Action7Execute},
        {Command::Edit, "Правка", "Изменить", Qt::CTRL | Qt::Key_P, 18, &TForm1::Action9Execute},
        {Command::Delete, "Правка", "Удалить", QKeyCombination(Qt::Key_Delete), 9, &TForm1::Action8Execute},
        {Command::WriteToThisOne, "Правка", "Написать этому", Qt::CTRL | Qt::Key_W, 0, &TForm1::Action11Execute},
        {Command::BackUp, "Backup", "Создать", Qt::CTRL | Qt::Key_S, 14, &TForm1::Action13Execute},
        {Command::Restore, "Backup", "Восстановить", {}, 15, &TForm1::Action14Execute},
        {Command::Font, "Опции", "Шрифт", {}, 11, &TForm1::Action16Execute},
        {Command::Help, "Помощь", "Вызов справки", QKeyCombination(Qt::Key_F1), 2, &TForm1::Action10Execute},
        {Command::VisitSite, "Помощь", "Посетить сайт", {}, 1, &TForm1::Action2Execute},
        {Command::WriteToSupport, "Помощь", "Написать письмо", {}, 12, &TForm1::Action3Execute},
        {Command::CheckForUpdate, "Помощь", "Обновление", {}, 17, &TForm1::Action4Execute},
        {Command::About, "Помощь", "О программе", {}, 7, &TForm1::Action5Execute},
    };
    for (const auto &definition : commands) {
        auto *action = new QAction(imageListIcon(definition.image), QString::fromUtf8(definition.caption), this);
        action->setObjectName(actionName(definition.command));
        action->setProperty("category", QString::fromUtf8(definition.category));
        action->setProperty("imageIndex", definition.image);
        if (definition.shortcut.key() != Qt::Key_unknown && definition.shortcut.toCombined() != 0)
            action->setShortcut(QKeySequence(definition.shortcut));
        // The commands answer their keys in every window of the program.
        action->setShortcutContext(Qt::ApplicationShortcut);
        connectGuarded(m_platform, action, &QAction::triggered, this, definition.execute);
        m_actions[commandNumber(definition.command) - 1] = action;
        addAction(action);
    }
}

QList<QAction *> TForm1::commandActions() const
{
    return QList<QAction *>(m_actions.begin(), m_actions.end());
}

void TForm1::createMenus()
{
    const auto action = [this](Command command) { return this->action(command); };
    const auto addMenu = [&](const QString &title, const QString &name, MenuEntries entries) {
        QMenu *menu = ActionMainMenuBar1->addMenu(title);
        menu->setObjectName(name);
        fillMenu(menu, entries, action);
    };
    using enum Command;
    addMenu(QStringLiteral("Ф&айл"), QStringLiteral("MenuFile"), {MinimizeToTray, separator, Print, separator, Exit});
    addMenu(QStringLiteral("П&равка"), QStringLiteral("MenuEdit"), {Add, separator, Copy, Edit, separator, Delete});
    addMenu(QStringLiteral("Back&up"), QStringLiteral("MenuBackup"), {BackUp, Restore});
    addMenu(QStringLiteral("Настройка"), QStringLiteral("MenuOptions"), {Font});
    addMenu(QStringLiteral("П&омощь"), QStringLiteral("MenuHelp"),
        {Help, separator, VisitSite, WriteToSupport, CheckForUpdate, separator, About});
    // The flat look: the highlighted menu item on a pale background, in dark text whatever the
    // colour scheme (the scheme's own text colour may be light).
    ActionMainMenuBar1->setStyleSheet(
        QStringLiteral("QMenuBar::item:selected { background: rgb(247, 245, 238); color: black; }"));

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    fillMenu(PopupMenu2, {WriteToThisOne, separator, Add, separator, Copy, Edit, separator, Delete}, action);
    for (ListBox *list : {ListBox1, ListBox2}) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint &at) { PopupMenu2->popup(list->viewport()->mapToGlobal(at)); });
    }
}

void TForm1::createToolbar()
{
    const struct
    {
        const char *caption;
        int left;
        int width;
        int image;
        // The command the button runs: it names a button without a caption.
        Command command;
        void (TForm1::*click)();
    } buttons[] = {
        {"Свернуть", 8, 97, 10, Command::MinimizeToTray, &TForm1::SpeedButton1Click},
        {"Копировать", 112, 113, 8, Command::Copy, &TForm1::SpeedButton2Click},
        {"Добавить", 232, 105, 6, Command::Add, &TForm1::SpeedButton3Click},
        {"Изменить", 344, 97, 18, Command::Edit, &TForm1::SpeedButton4Click},
        {"Веб сайт", 448, 97, 1, Command::VisitSite, &TForm1::SpeedButton5Click},
        {"", 552, 60, 14, Command::BackUp, &TForm1::SpeedButton6Click},
        {"", 616, 60, 15, Command::Restore, &TForm1::SpeedButton7Click},
    };
    CoolBar1->setAccessibleName(QStringLiteral("Панель инструментов"));
    QWidget *previous = ListBox2;
    for (std::size_t i = 0; i < std::size(buttons); ++i) {
        const auto &definition = buttons[i];
        auto *button = new QToolButton(CoolBar1);
        button->setObjectName(QStringLiteral("SpeedButton%1").arg(i + 1));
        button->setAutoRaise(true);
        // Reachable with Tab after the lists; a click leaves the focus where it was.
        button->setFocusPolicy(Qt::TabFocus);
        button->setIcon(imageListIcon(definition.image));
        button->setIconSize(QSize(24, 24));
        const QString caption = QString::fromUtf8(definition.caption);
        button->setText(caption);
        button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
        button->setAccessibleName(caption.isEmpty() ? action(definition.command)->text() : caption);
        // Each button tells which command it runs, the ones without a caption too.
        button->setToolTip(action(definition.command)->text());
        button->setGeometry(definition.left, 2, definition.width, 48);
        connectGuarded(m_platform, button, &QToolButton::clicked, this, definition.click);
        QWidget::setTabOrder(previous, button);
        previous = m_speedButtons[i] = button;
    }
}

EntryDialogContext TForm1::entryDialogContext(std::function<bool(const EntryTexts &)> apply)
{
    return EntryDialogContext{this, m_platform, commandActions(), std::move(apply)};
}

// ---- The commands ----

// "Свернуть в трей"
void TForm1::Action1Execute()
{
    hideToTray();
}

// "Посетить сайт"
void TForm1::Action2Execute()
{
    m_platform.openLink(addresses::site());
}

// "Написать письмо"
void TForm1::Action3Execute()
{
    m_platform.openLink(QStringLiteral("mailto:") + addresses::supportMail());
}

// "Обновление"
void TForm1::Action4Execute()
{
    m_platform.openLink(addresses::updatePage());
}

// "Добавить", Ctrl+V: the new entry goes to the end and both files are saved at once. A save that
// fails leaves the lists as they were, so OK can simply be pressed again.
void TForm1::Action6Execute()
{
    auto *dialog = new TForm3(entryDialogContext([this](const EntryTexts &texts) {
        BookLists entry;
        entry.descriptions.append(texts.description);
        entry.mails.append(texts.mail);
        saving([&] { m_book.appendAndSave(entry); });
        return true;
    }));
    dialog->show();
}

AddressBook::ImportCounts TForm1::addHandedOver(const BookLists &entries, const std::string &importId)
{
    // The command line that handed them over reports a failure and the counts; the window shows
    // nothing of it. The entries are compared with the book as the window holds it now.
    AddressBook::ImportCounts counts;
    saving([&] { counts = m_book.appendNewAndSave(entries, importId); });
    return counts;
}

// "Копировать", Ctrl+C
void TForm1::Action7Execute()
{
    if (ListBox1->itemIndex() < 0) {
        m_platform.showNotice(selectionNotice());
        m_platform.beep();
        return;
    }
    try {
        const std::string_view mail = m_book.text(ListId::Mails, ListBox2->itemIndex());
        // Copying an empty selection leaves the clipboard as it was.
        if (!mail.empty())
            m_platform.setClipboardText(fromStored(mail));
    } catch (const std::exception &) {
        m_platform.showNotice(QStringLiteral("Пожалуйста, выберите адрес!"));
    }
}

// "Удалить", Del: the entry goes from the book and both files are saved at once, as Add and Edit
// save, so that nothing reading the files (a mail program's address query) still offers it. A save
// that fails puts the entry back, and the box says why.
void TForm1::Action8Execute()
{
    if (ListBox1->itemIndex() < 0) {
        m_platform.showNotice(selectionNotice());
        return;
    }
    saving([&] { m_book.removeAndSave(currentIndex(ListId::Descriptions)); });
    select(ListId::Descriptions, -1);
    select(ListId::Mails, -1);
}

// "Изменить", Ctrl+P: OK replaces the entry the dialog was opened on, wherever deletions and
// additions made meanwhile have moved it, and both files are saved at once (a list in which the
// entry had no selected row gets the text appended). A save that fails leaves the lists as they were.
void TForm1::Action9Execute()
{
    if (ListBox1->itemIndex() < 0) {
        m_platform.showNotice(selectionNotice());
        m_platform.beep();
        return;
    }
    EntryRows rows;
    if (currentIndex(ListId::Descriptions) >= 0)
        rows.descriptions = m_book.track(ListId::Descriptions, currentIndex(ListId::Descriptions));
    if (currentIndex(ListId::Mails) >= 0)
        rows.mails = m_book.track(ListId::Mails, currentIndex(ListId::Mails));
    const auto apply = [this, rows](const EntryTexts &texts) {
        bool replaced = false;
        saving([&] { replaced = m_book.replaceAndSave(rows, texts.description, texts.mail); });
        // The entry was deleted meanwhile: nothing is stored in another's place. The dialog stays
        // open, so the texts typed are not lost: they can still be copied, and Cancel closes it.
        if (!replaced)
            m_platform.showNotice(QStringLiteral("Эта запись была удалена, пока окно «Изменить» было открыто. "
                                                 "Ничего не изменено."));
        return replaced;
    };
    const auto selected = [this](ListId id) { return m_book.text(id, currentIndex(id)); };
    auto *dialog = new TForm4(entryDialogContext(apply), selected);
    dialog->show();
}

// "Вызов справки", F1
void TForm1::Action10Execute()
{
    if (m_platform.showMessage(QStringLiteral("Вызов справки"),
            QStringLiteral("Вам необходимо посетить сайт разработчика. Нажмите ОК для продолжения."),
            Platform::Buttons::OkCancel))
        m_platform.openLink(addresses::helpPage());
}

// "Написать этому", Ctrl+W
void TForm1::Action11Execute()
{
    if (ListBox2->itemIndex() < 0) {
        m_platform.showNotice(selectionNotice());
        m_platform.beep();
        return;
    }
    m_platform.openLink(mailtoAddress(fromStored(m_book.text(ListId::Mails, ListBox2->itemIndex()))));
}

// "Выход", Ctrl+X
void TForm1::Action12Execute()
{
    close();
}

// "Шрифт"
void TForm1::Action16Execute()
{
    const std::optional<QFont> chosen = m_platform.chooseFont(this, m_settings.dialogFont());
    if (!chosen)
        return;
    // The dialog keeps style, colour and character set for next time; the lists take name and size.
    m_settings.fontChosen(*chosen);
    for (ListBox *list : {ListBox1, ListBox2})
        list->setFont(m_settings.listFont(list->font()));
}

// "Свернуть"
void TForm1::SpeedButton1Click()
{
    Action1Execute();
}

// "Копировать"
void TForm1::SpeedButton2Click()
{
    Action7Execute();
}

// "Добавить"
void TForm1::SpeedButton3Click()
{
    Action6Execute();
}

// "Изменить"
void TForm1::SpeedButton4Click()
{
    Action9Execute();
}

// "Веб сайт"
void TForm1::SpeedButton5Click()
{
    Action2Execute();
}

// The backup button (icon only)
void TForm1::SpeedButton6Click()
{
    Action13Execute();
}

// The restore button (icon only)
void TForm1::SpeedButton7Click()
{
    Action14Execute();
}

} // namespace kvillo
