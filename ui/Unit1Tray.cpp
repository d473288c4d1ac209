// The main window's icon in the notification area, and its menu.

#include "ui/Unit1.h"

#include "ui/application.h"
#include "ui/guard.h"
#include "ui/icons.h"
#include "ui/platform.h"

#include <QAction>
#include <QCursor>
#include <QMenu>

namespace kvillo {

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
        if (item.click != nullptr) {
            const auto click = item.click;
            connect(
                action, &QAction::triggered, this, [this, click] { guarded(m_platform, [&] { (this->*click)(); }); });
        }
    }
}

// Where the desktop has no notification area the program runs without the icon, silently.
void TForm1::addTrayIcon()
{
    if (m_trayIcon != nullptr || !m_platform.hasNotificationArea())
        return;
    m_trayIcon = new QSystemTrayIcon(programIcon(), this);
    m_trayIcon->setToolTip(applicationTitle());
    connect(m_trayIcon, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) { guarded(m_platform, [&] { trayIconActivated(reason); }); });
    m_trayIcon->show();
}

void TForm1::removeTrayIcon()
{
    if (m_trayIcon == nullptr)
        return;
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

void TForm1::N5521Click()
{
    if (!isVisible())
        showFromTray();
    else if (isMinimized() && !m_platform.hasNotificationArea())
        bringToFront();
    else
        hideToTray();
}

void TForm1::N2Click()
{
    Action5Execute();
}

void TForm1::N3Click()
{
    Action13Execute();
}

void TForm1::N4Click()
{
    Action14Execute();
}

void TForm1::N7Click()
{
    close();
}

} // namespace kvillo
