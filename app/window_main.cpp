#include "app/single_instance.h"
#include "app/termination.h"
#include "book/book_folder.h"
#include "book/book_layout.h"
#include "desktop/application.h"
#include "desktop/qt_platform.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <string>

// The window's program, which main() loads only when no command line is wanted.
extern "C" __attribute__((visibility("default"))) int kvillo_window_main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // First of all: a shut-down or log-off from here on is held until the window can save as at a
    // close, rather than ending the program on the spot.
    kvillo::TerminationWatch termination;
    kvillo::prepareApplication(app);
    const std::string directory = kvillo::openBookDirectory();
    kvillo::QtPlatform platform;

    // A second start on the same address book only brings the first program forward.
    kvillo::SingleInstance instance(kvillo::BookLayout(directory).databaseFolder());
    switch (instance.start(platform)) {
    case kvillo::SingleInstance::Decision::Run:
        break;
    case kvillo::SingleInstance::Decision::HandedOver:
        return 0;
    case kvillo::SingleInstance::Decision::Refused:
        return 1;
    }

    kvillo::TForm1 form(platform, directory);
    // What a shut-down cannot ask or show in a box goes where a session keeps a program's errors.
    form.setTerminationReport([](const std::string &line) { std::fprintf(stderr, "kvillo: %s\n", line.c_str()); });
    QObject::connect(&instance, &kvillo::SingleInstance::showRequested, &form, &kvillo::TForm1::bringToFront);
    // An import from the command line while the window runs: the window adds and saves it.
    instance.setAddHandler([&form](const kvillo::BookLists &entries, const std::string &importId) {
        return form.addHandedOver(entries, importId);
    });
    form.show();
    // The system asks the program to end: it saves without asking anyone, keeping a recovery copy
    // of what cannot be saved. Building and showing the window runs events, and a close then could
    // not end the program yet: a request that came meanwhile, with no one connected, is answered
    // once the program runs.
    const bool requestedEarly = termination.wasRequested();
    QObject::connect(&termination, &kvillo::TerminationWatch::requested, &form, &kvillo::TForm1::closeOnTermination);
    if (requestedEarly)
        QTimer::singleShot(0, &form, &kvillo::TForm1::closeOnTermination);
    return QApplication::exec();
}
