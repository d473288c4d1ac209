// The main window's commands: the actions, the menu bar, the lists' context menu and the toolbar.

#include "ui/Unit1.h"

#include "dialogs/Unit3.h"
#include "dialogs/Unit4.h"
#include "ui/addresses.h"
#include "ui/guard.h"
#include "ui/icons.h"
#include "ui/list_box.h"
#include "ui/platform.h"
#include "ui/text.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

namespace kvillo {

namespace {

struct ActionDefinition
{
    int number;
    const char *category;
    const char *caption;
    QKeyCombination shortcut;
    int image;
    void (TForm1::*execute)();
};

const ActionDefinition kActions[] = {
    {1, "Файл", "Свернуть в трей", {}, 10, &TForm1::Action1Execute},
    {15, "Файл", "Печать", Qt::CTRL | Qt::Key_A, 19, &TForm1::Action15Execute},
    {12, "Файл", "Выход", Qt::CTRL | Qt::Key_X, 3, &TForm1::Action12Execute},
    {6, "Правка", "Добавить", Qt::CTRL | Qt::Key_V, 6, &TForm1::Action6Execute},
    {7, "Правка", "Копировать", Qt::CTRL | Qt::Key_C, 8, &TForm1::Action7Execute},
    {9, "Правка", "Изменить", Qt::CTRL | Qt::Key_P, 18, &TForm1::Action9Execute},
    {8, "Правка", "Удалить", QKeyCombination(Qt::Key_Delete), 9, &TForm1::Action8Execute},
    {11, "Правка", "Написать этому", Qt::CTRL | Qt::Key_W, 0, &TForm1::Action11Execute},
    {13, "Backup", "Создать", Qt::CTRL | Qt::Key_S, 14, &TForm1::Action13Execute},
    {14, "Backup", "Восстановить", {}, 15, &TForm1::Action14Execute},
    {16, "Опции", "Шрифт", {}, 11, &TForm1::Action16Execute},
    {10, "Помощь", "Вызов справки", QKeyCombination(Qt::Key_F1), 2, &TForm1::Action10Execute},
    {2, "Помощь", "Посетить сайт", {}, 1, &TForm1::Action2Execute},
    {3, "Помощь", "Написать письмо", {}, 12, &TForm1::Action3Execute},
    {4, "Помощь", "Обновление", {}, 17, &TForm1::Action4Execute},
    {5, "Помощь", "О программе", {}, 7, &TForm1::Action5Execute},
};

struct SpeedButtonDefinition
{
    const char *caption;
    int left;
    int width;
    int image;
    void (TForm1::*click)();
};

const SpeedButtonDefinition kSpeedButtons[] = {
    {"Свернуть", 8, 97, 10, &TForm1::SpeedButton1Click},
    {"Копировать", 112, 113, 8, &TForm1::SpeedButton2Click},
    {"Добавить", 232, 105, 6, &TForm1::SpeedButton3Click},
    {"Изменить", 344, 97, 18, &TForm1::SpeedButton4Click},
    {"Веб сайт", 448, 97, 1, &TForm1::SpeedButton5Click},
    {"", 552, 60, 14, &TForm1::SpeedButton6Click},
    {"", 616, 60, 15, &TForm1::SpeedButton7Click},
};

} // namespace

void TForm1::createActions()
{
    for (const ActionDefinition &definition : kActions) {
        auto *action = new QAction(imageListIcon(definition.image), QString::fromUtf8(definition.caption), this);
        action->setObjectName(QStringLiteral("Action%1").arg(definition.number));
        action->setProperty("category", QString::fromUtf8(definition.category));
        action->setProperty("imageIndex", definition.image);
        if (definition.shortcut.key() != Qt::Key_unknown && definition.shortcut.toCombined() != 0)
            action->setShortcut(QKeySequence(definition.shortcut));
        // The commands answer their keys in every window of the program.
        action->setShortcutContext(Qt::ApplicationShortcut);
        const auto execute = definition.execute;
        connect(
            action, &QAction::triggered, this, [this, execute] { guarded(m_platform, [&] { (this->*execute)(); }); });
        m_actions[definition.number] = action;
        addAction(action);
    }
}

QList<QAction *> TForm1::commandActions() const
{
    QList<QAction *> actions;
    for (int i = 1; i <= 16; ++i)
        actions << m_actions[i];
    return actions;
}

bool TForm1::isProgramShortcut(const QKeySequence &key) const
{
    for (int i = 1; i <= 16; ++i) {
        if (!m_actions[i]->shortcut().isEmpty() && m_actions[i]->shortcut() == key)
            return true;
    }
    return false;
}

void TForm1::createMenus()
{
    const auto addMenu = [this](const QString &title, const QString &name, std::initializer_list<int> entries) {
        QMenu *menu = ActionMainMenuBar1->addMenu(title);
        menu->setObjectName(name);
        for (const int number : entries) {
            if (number == 0)
                menu->addSeparator();
            else
                menu->addAction(m_actions[number]);
        }
    };
    addMenu(QStringLiteral("Ф&айл"), QStringLiteral("MenuFile"), {1, 0, 15, 0, 12});
    addMenu(QStringLiteral("П&равка"), QStringLiteral("MenuEdit"), {6, 0, 7, 9, 0, 8});
    addMenu(QStringLiteral("Back&up"), QStringLiteral("MenuBackup"), {13, 14});
    addMenu(QStringLiteral("Настройка"), QStringLiteral("MenuOptions"), {16});
    addMenu(QStringLiteral("П&омощь"), QStringLiteral("MenuHelp"), {10, 0, 2, 3, 4, 0, 5});
    // The flat look: the highlighted menu item on a pale background, in dark text whatever the
    // colour scheme (the scheme's own text colour may be light).
    ActionMainMenuBar1->setStyleSheet(
        QStringLiteral("QMenuBar::item:selected { background: rgb(247, 245, 238); color: black; }"));

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    for (const int number : {11, 0, 6, 0, 7, 9, 0, 8}) {
        if (number == 0)
            PopupMenu2->addSeparator();
        else
            PopupMenu2->addAction(m_actions[number]);
    }
    for (ListBox *list : {ListBox1, ListBox2}) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint &at) { PopupMenu2->popup(list->viewport()->mapToGlobal(at)); });
    }
}

void TForm1::createToolbar()
{
    int number = 1;
    for (const SpeedButtonDefinition &definition : kSpeedButtons) {
        auto *button = new QToolButton(CoolBar1);
        button->setObjectName(QStringLiteral("SpeedButton%1").arg(number));
        button->setAutoRaise(true);
        // Reachable with Tab after the lists; a click leaves the focus where it was.
        button->setFocusPolicy(Qt::TabFocus);
        button->setIcon(imageListIcon(definition.image));
        button->setIconSize(QSize(24, 24));
        const QString caption = QString::fromUtf8(definition.caption);
        button->setText(caption);
        button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
        button->setAccessibleName(caption.isEmpty() ? m_actions[number == 6 ? 13 : 14]->text() : caption);
        button->setGeometry(definition.left, 2, definition.width, 48);
        const auto click = definition.click;
        connect(button, &QToolButton::clicked, this, [this, click] { guarded(m_platform, [&] { (this->*click)(); }); });
        QWidget::setTabOrder(number == 1 ? static_cast<QWidget *>(ListBox2) : m_speedButtons[number - 1], button);
        m_speedButtons[number++] = button;
    }
}

QString TForm1::selectionNotice()
{
    return QStringLiteral("Выберите пункт!");
}

QString TForm1::mailtoAddress(const QString &address)
{
    QString encoded;
    encoded.reserve(address.size());
    for (const QChar ch : address) {
        switch (ch.unicode()) {
        case '%':
            encoded += QStringLiteral("%25");
            break;
        case '?':
            encoded += QStringLiteral("%3F");
            break;
        case '&':
            encoded += QStringLiteral("%26");
            break;
        case '#':
            encoded += QStringLiteral("%23");
            break;
        default:
            encoded += ch;
            break;
        }
    }
    return QStringLiteral("mailto:") + encoded;
}

// ---- The commands ----

void TForm1::Action1Execute()
{
    setVisible(false);
}

void TForm1::Action2Execute()
{
    m_platform.openUrl(addresses::site());
}

void TForm1::Action3Execute()
{
    m_platform.openUrl(QStringLiteral("mailto:") + addresses::supportMail());
}

void TForm1::Action4Execute()
{
    m_platform.openUrl(addresses::updatePage());
}

void TForm1::Action6Execute()
{
    auto *dialog = new TForm3(*this);
    dialog->show();
}

void TForm1::Action7Execute()
{
    if (ListBox1->itemIndex() < 0) {
        m_platform.showNotice(selectionNotice());
        m_platform.beep();
        return;
    }
    try {
        Memo1.clear();
        Memo1.setText(itemAt(ListId::Mails, ListBox2->itemIndex()));
        // Copying an empty selection leaves the clipboard as it was.
        if (!Memo1.text().empty())
            m_platform.setClipboardText(fromStored(Memo1.text()));
    } catch (const std::exception &) {
        m_platform.showNotice(QStringLiteral("Пожалуйста, выберите адрес!"));
    }
}

void TForm1::Action8Execute()
{
    if (ListBox1->itemIndex() < 0) {
        m_platform.showNotice(selectionNotice());
        return;
    }
    deleteAtCurrent(ListId::Descriptions);
    deleteAtCurrent(ListId::Mails);
}

void TForm1::Action9Execute()
{
    if (ListBox1->itemIndex() < 0) {
        m_platform.showNotice(selectionNotice());
        m_platform.beep();
        return;
    }
    auto *dialog = new TForm4(*this);
    dialog->show();
}

void TForm1::Action10Execute()
{
    if (m_platform.showMessage(QStringLiteral("Вызов справки"),
            QStringLiteral("Вам необходимо посетить сайт разработчика. Нажмите ОК для продолжения."),
            Platform::Buttons::OkCancel))
        m_platform.openUrl(addresses::helpPage());
}

void TForm1::Action11Execute()
{
    if (ListBox2->itemIndex() < 0) {
        m_platform.showNotice(selectionNotice());
        m_platform.beep();
        return;
    }
    m_platform.openUrl(mailtoAddress(fromStored(itemAt(ListId::Mails, ListBox2->itemIndex()))));
}

void TForm1::Action12Execute()
{
    close();
}

void TForm1::Action16Execute()
{
    const std::optional<QFont> chosen = m_platform.chooseFont(this, m_fontDialogFont);
    if (!chosen)
        return;
    // The dialog keeps style, colour and character set for next time; the lists take name and size.
    m_fontDialogFont = *chosen;
    for (ListBox *list : {ListBox1, ListBox2}) {
        QFont font = list->font();
        font.setFamily(chosen->family());
        if (chosen->pointSize() > 0)
            font.setPointSize(chosen->pointSize());
        list->setFont(font);
    }
}

void TForm1::SpeedButton1Click()
{
    Action1Execute();
}

void TForm1::SpeedButton2Click()
{
    Action7Execute();
}

void TForm1::SpeedButton3Click()
{
    Action6Execute();
}

void TForm1::SpeedButton4Click()
{
    Action9Execute();
}

void TForm1::SpeedButton5Click()
{
    Action2Execute();
}

void TForm1::SpeedButton6Click()
{
    Action13Execute();
}

void TForm1::SpeedButton7Click()
{
    Action14Execute();
}

} // namespace kvillo
