#include "gui_test_util.h"
#include "testing/fake_platform.h"

#include "desktop/application.h"
#include "desktop/guard.h"
#include "desktop/icons.h"
#include "desktop/qt_platform.h"
#include "dialogs/Unit2.h"
#include "ui/Unit1.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QStyle>
#include <QStyleFactory>
#include <QtTest>

namespace {

// Relative luminance of a colour, as used for text contrast.
double luminance(QRgb rgb)
{
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of the text drawn in `area` of `image` against the ground at its top-left corner:
// the pixel that differs most from the ground is taken for the text.
double textContrast(const QImage &image, const QRect &area)
{
    const QRgb ground = image.pixel(area.topLeft());
    double best = 1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            best = std::max(best, contrast(ground, image.pixel(x, y)));
    }
    return best;
}

// The names the file dialog lists in its current folder.
QStringList listed(QFileDialog &dialog)
{
    auto *model = dialog.findChild<QFileSystemModel *>();
    const QModelIndex folder = model->index(dialog.directory().absolutePath());
    QStringList names;
    for (int row = 0; row < model->rowCount(folder); ++row)
        names << model->index(row, 0, folder).data().toString();
    names.sort();
    return names;
}

} // namespace

// How the program fits the desktop: the language of the toolkit's dialogs, the icon of every
// window, the file dialogs' filters, a dark colour scheme and the guard's error box.
class TestDesktop : public gui::WindowTest
{
    Q_OBJECT

private slots:
    void initTestCase() { prepare(); }

    // Sizes and dates in the file dialog, as in any toolkit dialog, are written the Russian way.
    void toolkitDialogsFormatInRussian()
    {
        QCOMPARE(QLocale().language(), QLocale::Russian);
        QCOMPARE(QLocale().toString(QDate(2026, 12, 8), QStringLiteral("d MMMM")), QStringLiteral("8 декабря"));

        ProgramDir dir;
        const QString path = dir.path(QStringLiteral("database/mails.dat"));
        dir.write(QStringLiteral("database/mails.dat"), QByteArray(94, 'a'));
        const auto dialog
            = kvillo::QtPlatform::makeFileDialog(nullptr, QStringLiteral("Все файлы (*.*)|*.*"), path, false);
        dialog->show();
        auto *files = dialog->findChild<QFileSystemModel *>();
        QTRY_VERIFY(files->index(path).isValid());
        // What the dialog's list shows of the file.
        const auto shown = [&](int column) {
            const QModelIndex index = files->index(path, column);
            if (const QAbstractProxyModel *proxy = dialog->proxyModel())
                return proxy->mapFromSource(index).data().toString();
            return index.data().toString();
        };
        QTRY_VERIFY(!shown(1).isEmpty());
        const QLocale russian(QLocale::Russian);
        QCOMPARE(shown(1), russian.formattedDataSize(94));
        QCOMPARE(shown(3), russian.toString(QFileInfo(path).lastModified(), QLocale::ShortFormat));
    }

    // Every window shows the program's icon, message boxes and toolkit dialogs included, and its
    // window class is the desktop entry's name.
    void windowsCarryTheProgramIcon()
    {
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("kvillo"));
        const QImage expected = kvillo::programIcon().pixmap(32, 32).toImage();
        const auto box = kvillo::QtPlatform::makeMessageBox(
            true, kvillo::applicationTitle(), QStringLiteral("Ошибка"), kvillo::Platform::Buttons::Ok);
        const auto files
            = kvillo::QtPlatform::makeFileDialog(nullptr, QStringLiteral("Все файлы (*.*)|*.*"), QString(), true);
        kvillo::TAboutBox about(m_platform);
        for (QWidget *window : std::initializer_list<QWidget *>{box.get(), files.get(), &about}) {
            QVERIFY2(!window->windowIcon().isNull(), window->metaObject()->className());
            QCOMPARE(window->windowIcon().pixmap(32, 32).toImage(), expected);
        }
    }

    // Without a desktop theme, every image of the toolbar and the menus is the program's own, at 1x
    // and at 2x, so that a screen of double density gets a picture made for it, not one blown up;
    // the program's icon has each of its sizes.
    void iconsComeForEveryDensity()
    {
        const QStringList paths = QIcon::themeSearchPaths();
        QIcon::setThemeSearchPaths({});
        for (int index = 0; index < 20; ++index) {
            const QIcon icon = kvillo::imageListIcon(index);
            QCOMPARE(icon.availableSizes(), (QList<QSize>{QSize(32, 32), QSize(64, 64)}));
            QCOMPARE(icon.pixmap(QSize(24, 24), 2.0).size(), QSize(48, 48));
        }
        QIcon::setThemeSearchPaths(paths);
        QCOMPARE(kvillo::programIcon().availableSizes(),
            (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(64, 64), QSize(128, 128)}));
    }

    // "Все файлы (*.*)" lists every file, names without a dot too; the other filter keeps to its
    // own extension.
    void allFilesFilterListsEveryFile_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("restore") << false;
        QTest::newRow("backup") << true;
    }
    void allFilesFilterListsEveryFile()
    {
        QFETCH(bool, save);
        ProgramDir dir;
        dir.write(QStringLiteral("database/kvillo"), "program");
        dir.write(QStringLiteral("database/copy.bak"), "backup");
        dir.write(QStringLiteral("database/notes.txt"), "notes");
        const auto dialog = kvillo::QtPlatform::makeFileDialog(nullptr,
            QStringLiteral("Резервная копия (*.bak)|*.bak|Все файлы (*.*)|*.*"),
            dir.path(QStringLiteral("database/copy.bak")), save);
        // The backup writes the name with ".bak" and asks itself about replacing that file.
        QCOMPARE(dialog->testOption(QFileDialog::DontConfirmOverwrite), save);
        dialog->show();
        QTRY_COMPARE(listed(*dialog), QStringList{QStringLiteral("copy.bak")});

        auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        QVERIFY(types != nullptr);
        QCOMPARE(types->itemText(1), QStringLiteral("Все файлы (*.*)"));
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Down);
        QCOMPARE(types->currentIndex(), 1);
        const QStringList all{QStringLiteral("copy.bak"), QStringLiteral("kvillo"), QStringLiteral("notes.txt")};
        QTRY_COMPARE(listed(*dialog), all);

        QTest::keyClick(types, Qt::Key_Up);
        QTRY_COMPARE(listed(*dialog), QStringList{QStringLiteral("copy.bak")});
    }

    // Under a dark colour scheme every text stays readable: the menu bar's highlighted item keeps
    // its pale ground with dark text, and the About box's blue and red links get a light ground.
    void darkColourSchemeStaysReadable()
    {
        const QString oldStyle = QApplication::style()->name();
        const QPalette oldPalette = QApplication::palette();
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setPalette(darkPalette());

        ProgramDir dir;
        dir.writeBook({QStringLiteral("Иванов")}, {QStringLiteral("ivanov@x.ru")});
        dir.writeSettings(QStringLiteral("MS Sans Serif"), 10, 89, 701, 497);
        {
            const auto window = start(dir);
            kvillo::TForm1 &form = *window;
            auto *bar = form.findChild<QMenuBar *>(QStringLiteral("ActionMainMenuBar1"));
            for (QAction *menu : bar->actions()) {
                bar->setActiveAction(menu);
                const QImage image = bar->grab().toImage();
                const QRect item = bar->actionGeometry(menu).adjusted(1, 1, -1, -1);
                QCOMPARE(QColor(image.pixel(item.topLeft())), QColor(247, 245, 238));
                const double itemContrast = textContrast(image, item);
                QVERIFY2(itemContrast >= 4.5, qPrintable(menu->text() + ": " + QString::number(itemContrast)));
                if (menu->menu() != nullptr)
                    menu->menu()->hide();
            }
            // The other items follow the scheme: light text on its dark ground.
            const QImage idle = bar->grab().toImage();
            const QRect item = bar->actionGeometry(bar->actions().first()).adjusted(1, 1, -1, -1);
            QVERIFY(QColor(idle.pixel(item.topLeft())).lightness() < 128);
            QVERIFY(textContrast(idle, item) >= 4.5);
        }

        kvillo::TAboutBox about(m_platform);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        for (const char *name : {"Label2", "Label4"}) {
            auto *link = about.findChild<QLabel *>(QLatin1String(name));
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
            const double blue = textContrast(link->grab().toImage(), link->rect());
            QTest::mouseMove(link);
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(255, 0, 0));
            const double red = textContrast(link->grab().toImage(), link->rect());
            QVERIFY2(blue >= 4.5 && red >= 3, qPrintable(QStringLiteral("%1 %2").arg(blue).arg(red)));
        }

        QApplication::setPalette(oldPalette);
        QApplication::setStyle(oldStyle);
    }

    void errorBoxTextFollowsThePeriodRule_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Stream write error"
                                << "Stream write error.";
        QTest::newRow("cyrillic") << "Ошибка"
                                  << "Ошибка.";
        QTest::newRow("parenthesis") << "List index out of bounds (3)"
                                     << "List index out of bounds (3)";
        QTest::newRow("exclamation") << "Внимание!"
                                     << "Внимание!";
        QTest::newRow("period") << "Done."
                                << "Done.";
        QTest::newRow("space") << "x "
                               << "x ";
        QTest::newRow("empty") << ""
                               << "";
    }
    void errorBoxTextFollowsThePeriodRule()
    {
        QFETCH(QString, message);
        QTEST(kvillo::errorBoxText(message), "shown");
    }
};

QTEST_MAIN(TestDesktop)
#include "test_desktop.moc"
