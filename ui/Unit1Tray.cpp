// The main window's icon in the notification area, and its menu.

#include "ui/Unit1.h"

#include "ui/application.h"
#include "ui/guard.h"
#include "ui/icons.h"

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
        if (item.click != nullptr)
            connectGuarded(m_platform, action, &QAction::triggered, this, item.click);
    }
}

// Where the desktop has no notification area the program runs without the icon, silently.
void TForm1::addTrayIcon()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    m_trayIcon = new QSystemTrayIcon(programIcon(), this);
    m_trayIcon->setToolTip(applicationTitle());
    connectGuarded(m_platform, m_trayIcon, &QSystemTrayIcon::activated, this, &TForm1::trayIconActivated);
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

// "Отразить/Свернуть"
void TForm1::N5521Click()
{
    if (isVisible())
        setVisible(false);
    else
        showFromTray();
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
