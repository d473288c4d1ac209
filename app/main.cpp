#include "data/address_store.h"
#include "ui/Unit1.h"
#include "ui/application.h"
#include "ui/qt_platform.h"
#include "ui/single_instance.h"
#include "ui/termination.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    kvillo::prepareApplication(app);
    // Shut-down and log-off save like a close. Watched from the start, so that a request while the
    // program is still starting is answered once the window is there.
    kvillo::TerminationWatch termination;
    const std::string directory = kvillo::applicationDirectory();

    // A second copy of the program on the same address book only brings the first one forward.
    kvillo::SingleInstance instance(QString::fromStdString(directory));
    if (!instance.acquire())
        return 0;

    kvillo::QtPlatform platform;
    kvillo::TForm1 form(platform, directory);
    QObject::connect(&instance, &kvillo::SingleInstance::showRequested, &form, &kvillo::TForm1::bringToFront);
    QObject::connect(&termination, &kvillo::TerminationWatch::requested, &form, &kvillo::TForm1::closeOnTermination);
    form.show();
    // A request before the event loop runs cannot end it: it is answered here.
    if (termination.isRequested()) {
        if (form.isVisible())
            form.closeOnTermination();
        if (!form.isVisible())
            return 0;
    }
    return QApplication::exec();
}
