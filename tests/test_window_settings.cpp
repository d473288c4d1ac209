// The main window's settings as a value: what it reads from config/config.ini, what it tells the
// window to apply, and what a close writes back.

#include "gui_test_util.h"

#include "book/scratch_buffer.h"
#include "desktop/application.h"
#include "desktop/window_settings.h"
#include "sys/errors.h"

#include <QtTest>

#include <algorithm>
#include <limits>

using kvillo::BookLayout;
using kvillo::ScratchBuffer;
using kvillo::WindowSettings;

namespace {

constexpr int kIntMin = std::numeric_limits<int>::min();

// The settings read from a book whose config.ini holds `lines` (none: no file).
struct ReadBook
{
    explicit ReadBook(const QStringList &lines)
    {
        if (!lines.isEmpty())
            dir.write(QStringLiteral("config/config.ini"), ProgramDir::lines(lines));
        try {
            settings.read(book);
        } catch (const std::exception &e) {
            error = QString::fromUtf8(e.what());
        }
    }

    ProgramDir dir;
    kvillo::AddressBook book{dir.directory()};
    WindowSettings settings;
    QString error;
};

QStringList file(
    const QString &font, const QString &size, const QString &list1, const QString &width, const QString &height)
{
    return {"[Параметры Kvillo]", "FontName=", font, "FontSize=", size, "List1.Width=", list1, "Width=", width,
        "Height=", height};
}

QFont font(const QString &family, int points)
{
    QFont font(family);
    if (points > 0)
        font.setPointSize(points);
    else
        font.setPixelSize(20);
    return font;
}

} // namespace

class TestWindowSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kvillo::prepareApplication(*qApp); }

    void readingStopsAtABadValueKeepingWhatCameBefore()
    {
        ReadBook book({"List1.Width=", "120", "FontName=", "Courier", "Width=", "12px", "Height=", "300"});
        QCOMPARE(book.error, QStringLiteral("'12px' is not a valid integer value"));
        QCOMPARE(book.settings.list1Width(), std::optional(120));
        QCOMPARE(book.settings.listFont(kvillo::windowsFont(10)).family(), QStringLiteral("Courier"));
        QCOMPARE(book.settings.outerSize({100, 100}, {2000, 2000}), QSize(701, 497)); // neither size read

        ReadBook missing({});
        QVERIFY(!missing.error.isEmpty());
        QVERIFY(!missing.settings.list1Width());
    }

    // The lists start in the window's font (10 points); the dialog's own font has 8 points.
    void fontsForTheListsAndTheDialog_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QFont>("chosen"); // the family "" for none
        QTest::addColumn<QString>("listFamily");
        QTest::addColumn<int>("listPoints");
        QTest::addColumn<QString>("dialogFamily");
        QTest::addColumn<int>("dialogPoints");
        const QFont none = font(QString(), 9);
        const QString base = kvillo::windowsFont(8).family();
        const QString longName = QStringLiteral("Очень длинное имя шрифта для проверки длины");

        QTest::newRow("file sets none") << QStringList() << none << base << 10 << base << 8;
        QTest::newRow("name and size") << file("Courier", "14", "1", "1", "1") << none << "Courier" << 14 << "Courier"
                                       << 14;
        QTest::newRow("size above the largest")
            << file("Arial", "100000", "1", "1", "1") << none << "Arial" << 72 << "Arial" << 72;
        QTest::newRow("size no font has") << file("Arial", "0", "1", "1", "1") << none << "Arial" << 10 << "Arial" << 8;
        QTest::newRow("empty name") << file("", "12", "1", "1", "1") << none << base << 12 << base << 12;
        QTest::newRow("chosen beats the file")
            << file("Courier", "14", "1", "1", "1") << font("Arial", 12) << "Arial" << 12 << "Arial" << 12;
        QTest::newRow("chosen in pixels keeps the lists' size")
            << file("Courier", "14", "1", "1", "1") << font("Arial", 0) << "Arial" << 14 << "Arial" << -1;
        QTest::newRow("chosen long name: the lists take what the file keeps")
            << QStringList() << font(longName, 11) << longName.left(31) << 11 << longName << 11;
    }
    void fontsForTheListsAndTheDialog()
    {
        QFETCH(QStringList, lines);
        QFETCH(QFont, chosen);
        ReadBook book(lines);
        QFont list = book.settings.listFont(kvillo::windowsFont(10));
        if (!chosen.family().isEmpty()) {
            book.settings.fontChosen(chosen);
            list = book.settings.listFont(list);
        }
        QTEST(list.family(), "listFamily");
        QTEST(list.pointSize(), "listPoints");
        QTEST(book.settings.dialogFont().family(), "dialogFamily");
        QTEST(book.settings.dialogFont().pointSize(), "dialogPoints");
    }

    void outerSize_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QSize>("expected");
        // The window's least outer size is 300 x 200, the screen's available size 1000 x 700.
        QTest::newRow("file sets none") << QStringList() << QSize(701, 497);
        QTest::newRow("within the screen") << file("a", "1", "1", "640", "400") << QSize(640, 400);
        QTest::newRow("beyond the screen") << file("a", "1", "1", "100000", "$7FFFFFFF") << QSize(1000, 700);
        QTest::newRow("below the least") << file("a", "1", "1", QString::number(kIntMin), "-5") << QSize(300, 200);
        QTest::newRow("width only") << QStringList{"Width=", "500"} << QSize(500, 497);
    }
    void outerSize()
    {
        QFETCH(QStringList, lines);
        QTEST(ReadBook(lines).settings.outerSize({300, 200}, {1000, 700}), "expected");
    }

    // The window applies what it is told, the user may change it, then the window closes.
    void closeWritesWhatWasReadUnlessChanged_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QSize>("applied"); // the outer size at the show; invalid: never shown
        QTest::addColumn<QFont>("chosen"); // the family "" for none
        QTest::addColumn<int>("list1Width"); // -1: as applied
        QTest::addColumn<QSize>("outer"); // at the close
        QTest::addColumn<QStringList>("written");
        const QFont none = font(QString(), 9);
        const QString min = QString::number(kIntMin);

        QTest::newRow("unchanged") << file("Arial", "12", "100", "600", "450") << QSize(600, 450) << none << -1
                                   << QSize(600, 450) << file("Arial", "12", "100", "600", "450");
        QTest::newRow("beyond what the window shows")
            << file("Arial", "100000", "99999", "100000", min) << QSize(1000, 200) << none << -1 << QSize(1000, 200)
            << file("Arial", "100000", "99999", "100000", min);
        QTest::newRow("a size no font has") << file("Arial", "-12", "-5", "$280", "0x190") << QSize(640, 400) << none
                                            << -1 << QSize(640, 400) << file("Arial", "-12", "-5", "640", "400");
        QTest::newRow("resized in width only")
            << file("Arial", "12", "100", "100000", "100000") << QSize(1000, 700) << none << -1 << QSize(520, 700)
            << file("Arial", "12", "100", "520", "100000");
        QTest::newRow("never shown") << file("Arial", "12", "100", "640", "400") << QSize() << none << -1
                                     << QSize(701, 497) << file("Arial", "12", "100", "640", "400");
        QTest::newRow("list dragged") << file("Arial", "12", "99999", "600", "450") << QSize(600, 450) << none << 300
                                      << QSize(600, 450) << file("Arial", "12", "300", "600", "450");
        QTest::newRow("a chosen font of the size shown")
            << file("Arial", "0", "100", "600", "450") << QSize(600, 450) << font("Arial", 10) << -1 << QSize(600, 450)
            << file("Arial", "10", "100", "600", "450");
        QTest::newRow("a chosen font in pixels")
            << file("Arial", "12", "100", "600", "450") << QSize(600, 450) << font("Arial", 0) << -1 << QSize(600, 450)
            << file("Arial", "12", "100", "600", "450");
        QTest::newRow("a chosen name the file cannot hold")
            << file("Arial", "12", "100", "600", "450") << QSize(600, 450) << font("宋体", 9) << -1 << QSize(600, 450)
            << file(kvillo::windowsFont(8).family(), "9", "100", "600", "450");
        QTest::newRow("file sets none") << QStringList() << QSize(701, 497) << none << 89 << QSize(800, 600)
                                        << file(kvillo::windowsFont(8).family(), "10", "89", "800", "600");
    }
    void closeWritesWhatWasReadUnlessChanged()
    {
        QFETCH(QStringList, lines);
        QFETCH(QSize, applied);
        QFETCH(QFont, chosen);
        QFETCH(int, list1Width);
        QFETCH(QSize, outer);
        QFETCH(QStringList, written);
        ReadBook book(lines);
        WindowSettings &settings = book.settings;
        // As the window applies them: the list panel takes no negative width.
        QFont listFont = settings.listFont(kvillo::windowsFont(10));
        settings.fontApplied(listFont);
        if (const std::optional<int> stored = settings.list1Width()) {
            settings.list1WidthApplied(std::max(*stored, 0));
            list1Width = list1Width < 0 ? std::max(*stored, 0) : list1Width;
        }
        if (applied.isValid())
            settings.sizeApplied(applied);
        if (!chosen.family().isEmpty()) {
            settings.fontChosen(chosen);
            listFont = settings.listFont(listFont);
        }

        settings.write(book.book, listFont, list1Width, outer);
        QCOMPARE(book.dir.read("config/config.ini"), ProgramDir::lines(written));
        QCOMPARE(book.book.scratch().lineCount(), std::size_t(0));
    }
};

QTEST_MAIN(TestWindowSettings)
#include "test_window_settings.moc"
