#include "desktop/application.h"

#include "book/version.h"
#include "desktop/icons.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>
#include <QWidget>

namespace kvillo {

QString applicationTitle()
{
    return QStringLiteral("Kvillo " KVILLO_VERSION);
}

void prepareApplication(QApplication &app)
{
    app.setApplicationName(applicationTitle());
    app.setQuitOnLastWindowClosed(false);
    // Every window, message box and toolkit dialog carries the program's icon, and the window
    // class is the desktop entry's name, so the taskbar groups the windows under the entry.
    app.setWindowIcon(programIcon());
    app.setDesktopFileName(QStringLiteral("kvillo"));

    // Qt's own dialogs speak Russian and format numbers, sizes and dates the Russian way.
    const QLocale russian(QLocale::Russian, QLocale::Russia);
    QLocale::setDefault(russian);
    auto *translator = new QTranslator(&app);
    if (translator->load(
            russian, QStringLiteral("qtbase"), QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);

    // The program's fonts are named as on Windows; elsewhere the nearest sans-serif face stands in.
    const QStringList substitutes{QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Liberation Sans"),
        QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans")};
    QFont::insertSubstitutions(windowsFont(8).family(), substitutes);
}

} // namespace kvillo

namespace kvillo {

namespace {
const QString kWindowsFontFamily = QStringLiteral("MS Sans Serif");
}

QFont windowsFont(int points)
{
    QFont font(kWindowsFontFamily);
    font.setPointSize(points);
    return font;
}

void centreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

} // namespace kvillo
