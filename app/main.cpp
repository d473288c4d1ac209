#include "cli/command_line.h"
#include "data/address_store.h"
#include "ui/Unit1.h"
#include "ui/application.h"
#include "ui/qt_platform.h"
#include "ui/single_instance.h"
#include "ui/termination.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // With arguments it is the command line: no application object, so no display is needed.
    if (kvillo::cli::wantsCommandLine(argc, argv))
        return kvillo::cli::run(argc, argv);

    QApplication app(argc, argv);
    kvillo::prepareApplication(app);
    const std::string directory = kvillo::applicationDirectory();

    // A second copy of the program on the same address book only brings the first one forward.
    kvillo::SingleInstance instance(QString::fromStdString(directory));
    if (!instance.acquire())
        return 0;

    kvillo::QtPlatform platform;
    kvillo::TForm1 form(platform, directory);
    QObject::connect(&instance, &kvillo::SingleInstance::showRequested, &form, &kvillo::TForm1::bringToFront);
    // Shut-down and log-off save like a close.
    kvillo::TerminationWatch termination;
    QObject::connect(&termination, &kvillo::TerminationWatch::requested, &form, &QWidget::close);
    form.show();
    return QApplication::exec();
}
