#include "data/address_store.h"
#include "ui/Unit1.h"
#include "ui/application.h"
#include "ui/qt_platform.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    kvillo::prepareApplication(app);
    kvillo::QtPlatform platform;
    kvillo::TForm1 form(platform, kvillo::applicationDirectory());
    form.show();
    return QApplication::exec();
}
