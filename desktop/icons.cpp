#include "desktop/icons.h"

#include <QSize>
#include <QString>

// The images are built into the library from resources/icons/icons.qrc; a static library's
// resources are registered by hand, outside any namespace.
static void registerIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace kvillo {

namespace {

void registerOnce()
{
    static const bool registered = (registerIconResources(), true);
    (void)registered;
}

// The image at 1x, and at 2x for a screen of double density.
QIcon shippedImage(int index)
{
    const QString base = QStringLiteral(":/icons/toolbar/image-%1").arg(index, 2, 10, QLatin1Char('0'));
    QIcon icon;
    icon.addFile(base + QStringLiteral(".png"), QSize(32, 32));
    icon.addFile(base + QStringLiteral("@2x.png"), QSize(64, 64));
    return icon;
}

const char *themeName(int index)
{
    switch (index) {
    case 0:
        return "mail-message-new";
    case 1:
        return "internet-web-browser";
    case 2:
        return "help-contents";
    case 3:
        return "application-exit";
    case 6:
        return "list-add";
    case 7:
        return "help-about";
    case 8:
        return "edit-copy";
    case 9:
        return "edit-delete";
    case 11:
        return "preferences-desktop-font";
    case 12:
        return "mail-send";
    case 14:
        return "document-save";
    case 15:
        return "document-revert";
    case 17:
        return "system-software-update";
    case 18:
        return "document-edit";
    case 19:
        return "document-print";
    default:
        return nullptr;
    }
}

} // namespace

QIcon imageListIcon(int index)
{
    registerOnce();
    const QIcon shipped = shippedImage(index);
    const char *name = themeName(index);
    return name != nullptr ? QIcon::fromTheme(QString::fromLatin1(name), shipped) : shipped;
}

QIcon programIcon()
{
    registerOnce();
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icons/kvillo-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace kvillo
