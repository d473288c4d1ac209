// The program under the Fusion style with a dark colour scheme, for tools/screenshots to show
// what such a scheme looks like. Usage: dark_preview DIR (DIR holds database/ and config/).

#include "dark_palette.h"

#include "desktop/application.h"
#include "desktop/qt_platform.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    kvillo::prepareApplication(app);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(darkPalette());
    std::string directory = argc > 1 ? argv[1] : ".";
    if (directory.back() != '/')
        directory += '/';
    kvillo::QtPlatform platform;
    kvillo::TForm1 form(platform, directory);
    form.show();
    return QApplication::exec();
}
