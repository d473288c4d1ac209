#include "data/book_folder.h"
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
    const std::string directory = kvillo::bookDirectory();

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
