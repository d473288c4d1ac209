// The main window's icon in the notification area, and its menu.

#include "ui/Unit1.h"

#include "desktop/application.h"
#include "desktop/guard.h"
#include "desktop/icons.h"
#include "desktop/platform.h"

#include <QAbstractNativeEventFilter>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

namespace kvillo {

namespace {

// While a modal box is open, Qt holds back every click on the program's other windows, and in an
// XEmbed notification area (X11 without a StatusNotifier host) the icon is one of them: a window
// hidden there could not come back until the box was closed. This filter sees a left click on
// the icon's window before Qt holds it back, and activates the icon.
class BlockedTrayClicks : public QAbstractNativeEventFilter
{
public:
    explicit BlockedTrayClicks(std::function<void()> activate)
        : m_activate(std::move(activate))
    { }

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "xcb_generic_event_t" || QGuiApplication::modalWindow() == nullptr)
            return false;
        // Qt takes the mouse from the X Input extension: a generic event (35) of type button press
        // (4), with the button at byte 16 and the window at byte 24, or from a core button press (4),
        // with the button at byte 1 and the window at byte 12.
        const auto *bytes = static_cast<const unsigned char *>(message);
        std::uint16_t eventType = 0;
        std::uint32_t button = 0;
        std::uint32_t window = 0;
        switch (bytes[0] & 0x7f) {
        case 35:
            std::memcpy(&eventType, bytes + 8, sizeof eventType);
            if (eventType != 4)
                return false;
            std::memcpy(&button, bytes + 16, sizeof button);
            std::memcpy(&window, bytes + 24, sizeof window);
            break;
        case 4:
            button = bytes[1];
            std::memcpy(&window, bytes + 12, sizeof window);
            break;
        default:
            return false;
        }
        if (button != 1 || !isTrayIconWindow(window))
            return false;
        m_activate();
        return true;
    }

private:
    static bool isTrayIconWindow(std::uint32_t id)
    {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::any_of(windows.begin(), windows.end(), [id](const QWidget *window) {
            return window->inherits("QSystemTrayIconSys") && window->internalWinId() == id;
        });
    }

    std::function<void()> m_activate;
};

} // namespace

void TForm1::createTrayMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    const struct
    {
        const char *name;
        const char *caption;
        int image;
        void (TForm1::*click)();
    } items[] = {
        {"N5521", "Отразить/Свернуть", 10, &TForm1::N5521Click},
        {"N1", nullptr, 0, nullptr},
        {"N2", "О программе", 7, &TForm1::N2Click},
        {"N5", nullptr, 0, nullptr},
        {"N3", "Создать резервную копию", 14, &TForm1::N3Click},
        {"N4", "Восстановить", 15, &TForm1::N4Click},
        {"N6", nullptr, 0, nullptr},
        {"N7", "Выход", 3, &TForm1::N7Click},
    };
    for (const auto &item : items) {
        QAction *action = item.caption == nullptr
            ? PopupMenu1->addSeparator()
            : PopupMenu1->addAction(imageListIcon(item.image), QString::fromUtf8(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        if (item.click != nullptr)
            connectGuarded(m_platform, action, &QAction::triggered, this, item.click);
    }
}

// Where the desktop has no notification area the program runs without the icon, silently.
void TForm1::addTrayIcon()
{
    if (m_trayIcon != nullptr || !m_platform.hasNotificationArea())
        return;
    m_trayIcon = new QSystemTrayIcon(programIcon(), this);
    m_trayIcon->setToolTip(applicationTitle());
    connectGuarded(m_platform, m_trayIcon, &QSystemTrayIcon::activated, this, &TForm1::trayIconActivated);
    m_trayIcon->show();
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        m_blockedTrayClicks = new BlockedTrayClicks(
            [this] { guarded(m_platform, [this] { trayIconActivated(QSystemTrayIcon::Trigger); }); });
        QCoreApplication::instance()->installNativeEventFilter(m_blockedTrayClicks);
    }
}

void TForm1::removeTrayIcon()
{
    if (m_trayIcon == nullptr)
        return;
    delete m_blockedTrayClicks; // leaves the application's filters
    m_blockedTrayClicks = nullptr;
    m_trayIcon->hide();
    delete m_trayIcon;
    m_trayIcon = nullptr;
}

void TForm1::trayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    const QPoint cursor = QCursor::pos();
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        showFromTray();
        break;
    case QSystemTrayIcon::Context:
        PopupMenu1->popup(cursor);
        break;
    default:
        break;
    }
}

// Showing an already visible window does nothing; a hidden one comes back in the state it had.
void TForm1::showFromTray()
{
    if (isVisible())
        return;
    setVisible(true);
    if (!isMinimized())
        activateWindow();
}

void TForm1::bringToFront()
{
    showFromTray();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

// Hidden, the window comes back only through the icon. Without a notification area (none at
// start, or gone since) there is no icon: the window is minimised instead, so the taskbar or the
// window list brings it back.
void TForm1::hideToTray()
{
    addTrayIcon(); // the notification area may have come since start-up
    if (m_trayIcon != nullptr && m_platform.hasNotificationArea())
        setVisible(false);
    else
        showMinimized();
}

// "Отразить/Свернуть"
void TForm1::N5521Click()
{
    if (!isVisible())
        showFromTray();
    else if (isMinimized() && !m_platform.hasNotificationArea())
        bringToFront();
    else
        hideToTray();
}

// "О программе"
void TForm1::N2Click()
{
    Action5Execute();
}

// "Создать резервную копию"
void TForm1::N3Click()
{
    Action13Execute();
}

// "Восстановить"
void TForm1::N4Click()
{
    Action14Execute();
}

// "Выход"
void TForm1::N7Click()
{
    close();
}

} // namespace kvillo
