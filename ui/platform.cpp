#include "ui/platform.h"

#include "ui/application.h"

#include <QMessageBox>
#include <QSystemTrayIcon>

namespace kvillo {

bool Platform::askYesNo(const QString &text)
{
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::Yes | QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}

bool Platform::hasNotificationArea()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

} // namespace kvillo
