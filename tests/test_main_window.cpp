#include "gui_test_util.h"
#include "testing/fake_platform.h"

#include "app/termination.h"
#include "desktop/application.h"
#include "sys/errors.h"
#include "ui/Unit1.h"
#include "ui/line_list_model.h"
#include "ui/list_box.h"
#include "ui/list_panel.h"
#include "ui/main_window_texts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QtTest>

#include <csignal>
#include <limits>
#include <memory>

using namespace gui;
using kvillo::ListBox;

class TestMainWindow : public WindowTest
{
    Q_OBJECT

private:
    QStringList damageLog() const
    {
        return {QStringLiteral("message: %1 | %2")
                    .arg(kvillo::mainWindowText::damageCaption(), kvillo::mainWindowText::damageMessage())};
    }
    static QHeaderView *header(TForm1 &form) { return form.findChild<QHeaderView *>(QStringLiteral("HeaderControl1")); }
    // The width the descriptions list was given (shown narrower while the window is too narrow).
    static int list1Width(TForm1 &form)
    {
        return form.findChild<kvillo::ListPanel *>(QStringLiteral("Panel4"))->leftWidth();
    }

    QString recoveryBase() const { return m_dataHome.path() + "/" + kvillo::applicationTitle(); }
    QStringList recoveryCopies() const
    {
        QStringList copies;
        for (const QString &name : QDir(recoveryBase()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            copies << recoveryBase() + "/" + name;
        return copies;
    }
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dataHome;

private slots:
    void initTestCase()
    {
        prepare();
        // Recovery copies go to the user's data directory: a temporary one here.
        QVERIFY(m_dataHome.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dataHome.path()));
    }
    void init()
    {
        reset();
        QDir(recoveryBase()).removeRecursively();
    }

    void startsWithBookAndSettings()
    {
        ProgramDir dir;
        dir.writeBook({QStringLiteral("Иванов"), QString(), QStringLiteral("Smith")},
            {QStringLiteral("i@x.ru"), QStringLiteral("e@x.ru"), QStringLiteral("s@x.com"), QStringLiteral("extra@x")});
        dir.writeSettings(QStringLiteral("Courier"), 14, 150, 640, 400);
        auto form = start(dir, Start::Hidden);

        QVERIFY(m_platform.log.isEmpty());
        QCOMPARE(count(*form, ListId::Descriptions), 3);
        QCOMPARE(count(*form, ListId::Mails), 4);
        QCOMPARE(
            listBox(*form, ListId::Descriptions)->model()->index(0, 0).data().toString(), QStringLiteral("Иванов"));
        QCOMPARE(currentIndex(*form, ListId::Mails), -1);
        QCOMPARE(listBox(*form, ListId::Descriptions)->font().family(), QStringLiteral("Courier"));
        QCOMPARE(listBox(*form, ListId::Mails)->font().pointSize(), 14);
        QCOMPARE(list1Width(*form), 150);
        QCOMPARE(header(*form)->sectionSize(0), 150);
        QCOMPARE(header(*form)->sectionSize(1), 701 - 150 - 4);

        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->frameGeometry().size(), QSize(640, 400));
        // The font dialog offers the settings' font.
        trigger(*form, Command::Font);
        QCOMPARE(m_platform.lastFontOffered.family(), QStringLiteral("Courier"));
        QCOMPARE(m_platform.lastFontOffered.pointSize(), 14);
    }

    void aPlantedCommitRecordIsSetAsideAndToldOnce()
    {
        ProgramDir dir;
        dir.writeBook({"a"}, {"a@x"});
        dir.writeSettings(QStringLiteral("Arial"), 10, 100, 640, 400);
        dir.write("database/.kvillo-commit", QByteArray("kvillo-commit\0../../victim\0", 28));
        auto form = start(dir, Start::Hidden);
        QCOMPARE(m_platform.log.size(), 1);
        QVERIFY(m_platform.log[0].startsWith(QStringLiteral("notice: ")));
        QVERIFY(m_platform.log[0].contains(QStringLiteral(".kvillo-commit.rejected-")));
        QCOMPARE(count(*form, ListId::Mails), 1);
        QVERIFY(form->close());
        QCOMPARE(m_platform.log.size(), 1);
    }

    void startupFailuresShowOneMessage_data()
    {
        QTest::addColumn<bool>("descriptions");
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<int>("descriptionCount");
        QTest::addColumn<QString>("font");
        QTest::addColumn<int>("list1Width");
        QTest::addColumn<int>("section0");

        const QByteArray good = ProgramDir::lines({"FontName=", "Arial", "List1.Width=", "120"});
        QTest::newRow("descriptions missing: settings not read") << false << good << 0 << "MS Sans Serif" << 89 << 50;
        QTest::newRow("settings missing") << true << QByteArray() << 2 << "MS Sans Serif" << 89 << 50;
        QTest::newRow("bad size after a name: the name stays")
            << true << ProgramDir::lines({"FontName=", "Arial", "FontSize=", "10pt", "List1.Width=", "120"}) << 2
            << "Arial" << 89 << 50;
        QTest::newRow("trailing space in a value")
            << true << ProgramDir::lines({"List1.Width=", "120 "}) << 2 << "MS Sans Serif" << 89 << 50;
        QTest::newRow("number key on the last line")
            << true << ProgramDir::lines({"List1.Width=", "120", "Height="}) << 2 << "MS Sans Serif" << 120 << 50;
    }
    void startupFailuresShowOneMessage()
    {
        QFETCH(bool, descriptions);
        QFETCH(QByteArray, settings);
        ProgramDir dir;
        dir.writeBook({"a", "b"}, {"a@x", "b@x"});
        if (!descriptions)
            QFile::remove(dir.path("database/descriptions.dat"));
        if (!settings.isEmpty())
            dir.write("config/config.ini", settings);
        auto form = start(dir, Start::Hidden);

        QCOMPARE(m_platform.log, damageLog());
        QCOMPARE(count(*form, ListId::Mails), 2);
        QTEST(count(*form, ListId::Descriptions), "descriptionCount");
        QTEST(listBox(*form, ListId::Descriptions)->font().family(), "font");
        QTEST(list1Width(*form), "list1Width");
        QTEST(header(*form)->sectionSize(0), "section0");

        // A window size the settings never set keeps the window's default outer size, not 0 x 0,
        // and that size is what a close writes back.
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->frameGeometry().size(), QSize(701, 497));
        QVERIFY(form->close());
        QVERIFY(dir.read("config/config.ini").endsWith("Width=\r\n701\r\nHeight=\r\n497\r\n"));
    }

    void settingsWithoutProblemsLoadSilently()
    {
        ProgramDir dir;
        dir.writeBook({}, {});
        dir.write("config/config.ini",
            ProgramDir::lines(
                {"[Параметры Kvillo]", " Width=", "width=", "Width=", " 640", "Height=", "$190", "FontName="}));
        auto form = start(dir, Start::Hidden);
        QVERIFY(m_platform.log.isEmpty());
        QCOMPARE(listBox(*form, ListId::Mails)->font().family(), QStringLiteral("MS Sans Serif"));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->frameGeometry().size(), QSize(640, 400));
        QVERIFY(form->close());
        QVERIFY(dir.read("config/config.ini").endsWith("Width=\r\n640\r\nHeight=\r\n400\r\n"));
    }

    // A window size or a font size no screen can show is kept within what the screen can show,
    // and a close without changes writes back exactly what was read.
    void sizesBeyondTheScreenAreLimitedAndKept_data()
    {
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("fontSize");
        // What a close writes: the same values, in decimal.
        QTest::addColumn<QStringList>("written");
        // Rows the lists have room for: at the window's least height, the least the lists keep.
        QTest::addColumn<int>("rows");
        const QString intMin = QString::number(std::numeric_limits<int>::min());
        const QString intMax = QString::number(std::numeric_limits<int>::max());
        QTest::newRow("100000") << "100000"
                                << "100000"
                                << "100000" << QStringList{"100000", "100000", "100000"} << 3;
        QTest::newRow("INT_MIN") << intMin << intMin << intMin << QStringList{intMin, intMin, intMin}
                                 << kvillo::ListPanel::kMinimumRows;
        QTest::newRow("INT_MAX") << intMax << intMax << intMax << QStringList{intMax, intMax, intMax} << 3;
        QTest::newRow("mixed") << intMin << intMax << "0" << QStringList{intMin, intMax, "0"} << 3;
        QTest::newRow("hexadecimal") << "$7FFFFFFF"
                                     << "0x186A0"
                                     << "-5" << QStringList{intMax, "100000", "-5"} << 3;
    }
    void sizesBeyondTheScreenAreLimitedAndKept()
    {
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QString, fontSize);
        QFETCH(QStringList, written);
        QFETCH(int, rows);
        ProgramDir dir;
        QStringList descriptions, mails;
        for (int i = 0; i < 50; ++i) {
            descriptions << QStringLiteral("Запись %1").arg(i);
            mails << QStringLiteral("e%1@x").arg(i);
        }
        dir.writeBook(descriptions, mails);
        const auto settings = [](const QString &w, const QString &h, const QString &points) {
            return ProgramDir::lines({"[Параметры Kvillo]", "FontName=", "Arial", "FontSize=", points,
                "List1.Width=", "89", "Width=", w, "Height=", h});
        };
        dir.write("config/config.ini", settings(width, height, fontSize));
        auto form = start(dir);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(m_platform.log.isEmpty());

        const QRect screen = form->screen()->availableGeometry();
        QVERIFY2(screen.contains(form->frameGeometry()),
            qPrintable(
                QStringLiteral("%1,%2 %3x%4").arg(form->x()).arg(form->y()).arg(form->width()).arg(form->height())));
        QVERIFY(form->width() >= 100);
        for (const ListId id : {ListId::Descriptions, ListId::Mails}) {
            ListBox *list = listBox(*form, id);
            const int row = list->rowHeight(0);
            QVERIFY2(row >= 8 && 4 * row <= screen.height(), qPrintable(QString::number(row)));
            // Several rows fit the list.
            QVERIFY2(rows * row <= list->viewport()->height(),
                qPrintable(QStringLiteral("row %1, list %2").arg(row).arg(list->viewport()->height())));
        }

        QVERIFY(form->close());
        QCOMPARE(dir.read("config/config.ini"), settings(written[0], written[1], written[2]));
    }

    // Once the user resizes the window, the size written is the window's.
    void aResizedWindowWritesItsSize()
    {
        ProgramDir dir;
        dir.writeBook({"a"}, {"a@x"});
        dir.writeSettings("Arial", 100000, 89, 100000, 480);
        auto form = start(dir);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->resize(QSize(520, 400) - (form->frameGeometry().size() - form->size()));
        QTRY_COMPARE(form->frameGeometry().size(), QSize(520, 400));
        QVERIFY(form->close());
        QCOMPARE(dir.read("config/config.ini"),
            ProgramDir::lines({"[Параметры Kvillo]", "FontName=", "Arial", "FontSize=", "100000", "List1.Width=", "89",
                "Width=", "520", "Height=", "400"}));
    }

    // A list width or window height from the settings file gets the limits a drag has: the
    // addresses keep their least width, the lists room for rows, the header shows them so. A close
    // writes back what was read.
    void storedLayoutKeepsBothListsShown_data()
    {
        QTest::addColumn<int>("list1Width");
        QTest::addColumn<int>("height");
        QTest::newRow("wider than any window") << 99999 << 497;
        QTest::newRow("negative") << -5 << 497;
        QTest::newRow("negative height") << 89 << -5;
        QTest::newRow("wider than the window, no height") << 650 << 0;
    }
    void storedLayoutKeepsBothListsShown()
    {
        QFETCH(int, list1Width);
        QFETCH(int, height);
        ProgramDir dir;
        dir.writeBook({"a", "b", "c"}, {"a@x", "b@x", "c@x"});
        dir.writeSettings("Arial", 10, list1Width, 600, height);
        const QByteArray settings = dir.read("config/config.ini");
        auto form = start(dir);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        ListBox *lists[] = {listBox(*form, ListId::Descriptions), listBox(*form, ListId::Mails)};
        QVERIFY(lists[1]->width() >= kvillo::Splitter::kMinimum);
        QCOMPARE(lists[0]->width() + kvillo::Splitter::kWidth + lists[1]->width(), lists[1]->parentWidget()->width());
        QCOMPARE(header(*form)->sectionSize(0), lists[0]->width());
        for (ListBox *list : lists)
            QVERIFY(kvillo::ListPanel::kMinimumRows * list->rowHeight(0) <= list->viewport()->height());
        QVERIFY(form->close());
        QCOMPARE(dir.read("config/config.ini"), settings);
    }

    void closeWritesSettingsThenData()
    {
        ProgramDir dir;
        dir.writeBook({"Пётр", "x"}, {"p@x.ru", "x@y"});
        dir.writeSettings("Arial", 12, 100, 600, 450);
        auto form = start(dir);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        deleteEntry(*form, 1);

        QVERIFY(form->close());
        QVERIFY(m_platform.log.isEmpty());
        QCOMPARE(dir.read("database/descriptions.dat"), ProgramDir::lines({"Пётр"}));
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"p@x.ru"}));
        QCOMPARE(dir.read("config/config.ini"),
            ProgramDir::lines({"[Параметры Kvillo]", "FontName=", "Arial", "FontSize=", "12", "List1.Width=", "100",
                "Width=", "600", "Height=", "450"}));
    }

    // A font size no font can have is not applied, and goes back into the file as it was read.
    void anUnappliedFontSizeIsWrittenBackAsRead_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -12;
    }
    void anUnappliedFontSizeIsWrittenBackAsRead()
    {
        QFETCH(int, size);
        ProgramDir dir;
        dir.writeBook({"a"}, {"a@x"});
        dir.writeSettings("Arial", size, 100, 600, 450);
        const QByteArray before = dir.read("config/config.ini");
        auto form = start(dir);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(listBox(*form, ListId::Mails)->font().pointSize(), 10);
        QVERIFY(form->close());
        QCOMPARE(dir.read("config/config.ini"), before);
        QVERIFY(m_platform.log.isEmpty());

        // A font chosen in the dialog replaces it, even one of the size the lists show meanwhile.
        form = start(dir);
        m_platform.fontAnswer = QFont(QStringLiteral("Arial"), 10);
        trigger(*form, Command::Font);
        QVERIFY(form->close());
        QVERIFY(dir.read("config/config.ini").contains("FontSize=\r\n10\r\n"));
    }

    void settingsThatCannotBeWrittenDoNotStopTheDataSave()
    {
        ProgramDir dir;
        dir.writeBook({"a", "b"}, {"a@x", "b@x"});
        dir.writeSettings("Arial", 12, 100, 600, 450);
        auto form = start(dir);
        deleteEntry(*form, 1);
        QDir(dir.path("config")).removeRecursively();

        QVERIFY(form->close());
        QCOMPARE(m_platform.log,
            QStringList{QStringLiteral("error: Cannot create file \"%1\". No such file or directory.")
                            .arg(dir.path("config/config.ini"))});
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"a@x"}));
    }

    void dataThatCannotBeSavedKeepsTheWindowOpen()
    {
        ProgramDir dir;
        dir.writeBook({"a"}, {"a@x"});
        dir.writeSettings("Arial", 12, 100, 600, 450);
        auto form = start(dir);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QDir(dir.path("database")).removeRecursively();

        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCOMPARE(m_platform.log.size(), 2); // the error, then whether to quit anyway: no
        QCOMPARE(m_platform.log[0],
            QStringLiteral("error: Cannot create file \"%1\". No such file or directory.")
                .arg(dir.path("database/descriptions.dat")));

        // Once the directory is back, closing saves everything.
        QDir(dir.path()).mkpath("database");
        QVERIFY(form->close());
        QCOMPARE(dir.read("database/descriptions.dat"), ProgramDir::lines({"a"}));
    }

    // Delete saves both files at once, as Add and Edit do; a save that fails says why in a box and
    // leaves the entry in the window and in the files.
    void deleteSavesAtOnce_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::newRow("saved") << true;
        QTest::newRow("the save fails") << false;
    }
    void deleteSavesAtOnce()
    {
        QFETCH(bool, writable);
        ProgramDir dir;
        dir.writeBook({"a", "b", "c"}, {"a@x", "b@x", "c@x"});
        auto form = start(dir);
        if (!writable)
            QVERIFY(QDir(dir.path("database")).removeRecursively());
        deleteEntry(*form, 1);
        if (!writable) {
            // The entry stayed: once the folder is back, the close stores it.
            QDir(dir.path()).mkpath("database");
            QVERIFY(form->close());
        }
        const QStringList descriptions = writable ? QStringList{"a", "c"} : QStringList{"a", "b", "c"};
        const QStringList mails = writable ? QStringList{"a@x", "c@x"} : QStringList{"a@x", "b@x", "c@x"};
        QCOMPARE(dir.read("database/descriptions.dat"), ProgramDir::lines(descriptions));
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines(mails));
        QCOMPARE(count(*form, ListId::Descriptions), int(descriptions.size()));
        QCOMPARE(itemAt(*form, ListId::Mails, 1), mails[1].toStdString());
        QCOMPARE(m_platform.log.size(), writable ? 0 : 1);
        if (!writable)
            QCOMPARE(m_platform.log[0],
                QStringLiteral("error: Cannot create file \"%1\". No such file or directory.")
                    .arg(dir.path("database/mails.dat"))); // mails first, as Add and Edit save
    }

    // Data that cannot be saved: after the error box, the user may still quit, with every entry
    // written to a recovery copy first; "No" (the default) keeps the window.
    void unsavedDataCanBeKeptInARecoveryCopy()
    {
        ProgramDir dir;
        dir.writeBook({"a", "c"}, {"a@x", "c@x"});
        dir.writeSettings("Arial", 12, 100, 600, 450);
        auto form = start(dir);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        addEntry(*form, "b@x", "Б"); // saved at once
        deleteEntry(*form, 0); // saved at once too
        QDir(dir.path("database")).removeRecursively();
        const QString error = QStringLiteral("error: Cannot create file \"%1\". No such file or directory.")
                                  .arg(dir.path("database/descriptions.dat"));

        QVERIFY(!form->close());
        QVERIFY(form->isVisible());
        QCOMPARE(m_platform.log.size(), 2);
        QCOMPARE(m_platform.log[0], error);
        QVERIFY(m_platform.log[1].startsWith(QStringLiteral("question: Записи адресной книги не удалось сохранить.")));
        QVERIFY(m_platform.log[1].contains(recoveryBase() + "/recovery-"));
        QVERIFY(recoveryCopies().isEmpty());

        m_platform.log.clear();
        m_platform.yesNoAnswers = {true};
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
        const QStringList copies = recoveryCopies();
        QCOMPARE(copies.size(), 1);
        QCOMPARE(
            m_platform.log, (QStringList{error, "question: " + kvillo::mainWindowText::recoveryQuestion(copies[0])}));
        QCOMPARE(readFile(copies[0] + "/descriptions.dat"), ProgramDir::lines({"c", "Б"}));
        QCOMPARE(readFile(copies[0] + "/mails.dat"), ProgramDir::lines({"c@x", "b@x"}));
    }

    void withoutARecoveryCopyTheWindowStays()
    {
        ProgramDir dir;
        dir.writeBook({"a"}, {"a@x"});
        dir.writeSettings("Arial", 12, 100, 600, 450);
        auto form = start(dir);
        form->show();
        QDir(dir.path("database")).removeRecursively();
        // The data directory lies under a file: nothing can be written there.
        QFile blocker(m_dataHome.path() + "/blocker");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        qputenv("XDG_DATA_HOME", QFile::encodeName(blocker.fileName()));
        m_platform.yesNoAnswers = {true};
        const bool closed = form->close();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dataHome.path()));

        QVERIFY(!closed);
        QVERIFY(form->isVisible());
        QCOMPARE(m_platform.log.size(), 3);
        QVERIFY(m_platform.log[1].startsWith("question: "));
        QVERIFY(m_platform.log[2].startsWith("error: Cannot create file \"" + blocker.fileName() + "/"));
        QVERIFY(m_platform.log[2].endsWith("/descriptions.dat\". Not a directory."));
        QCOMPARE(count(*form, ListId::Mails), 1);
    }

    // SIGTERM and SIGHUP: no one to ask. The window saves and closes; what cannot be saved goes to
    // a recovery copy first, without a box.
    void terminationSavesOrKeepsARecoveryCopy()
    {
        kvillo::TerminationWatch watch;
        ProgramDir dir;
        dir.writeBook({"a", "b", "c"}, {"a@x", "b@x", "c@x"});
        dir.writeSettings("Arial", 12, 100, 600, 450);
        auto form = start(dir);
        connect(&watch, &kvillo::TerminationWatch::requested, form.get(), &TForm1::closeOnTermination);
        form->show();
        deleteEntry(*form, 2);
        QDir(dir.path("database")).removeRecursively();
        ::raise(SIGTERM);
        QTRY_VERIFY(!form->isVisible());
        QVERIFY(m_platform.log.isEmpty());
        const QStringList copies = recoveryCopies();
        QCOMPARE(copies.size(), 1);
        QCOMPARE(readFile(copies[0] + "/descriptions.dat"), ProgramDir::lines({"a", "b"}));
        QCOMPARE(readFile(copies[0] + "/mails.dat"), ProgramDir::lines({"a@x", "b@x"}));
        // Only its user may enter it, and the folder made above it.
        for (const QString &folder : {copies[0], recoveryBase()})
            QCOMPARE(QFileInfo(folder).permissions() & 0x0777, QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);

        // Where the data can be saved, they are, and no copy is made. A file the save keeps aside
        // (cut at a NUL) is told of on the standard error stream, not in a box nobody answers.
        form.reset();
        ProgramDir second;
        const char raw[] = "c@x\r\nd@\0x\r\ne@x\r\n";
        second.write("database/mails.dat", QByteArray(raw, sizeof raw - 1));
        second.write("database/descriptions.dat", ProgramDir::lines({"c", "d"}));
        second.writeSettings("Arial", 12, 100, 600, 450);
        auto other = start(second);
        connect(&watch, &kvillo::TerminationWatch::requested, other.get(), &TForm1::closeOnTermination);
        other->show();
        ::raise(SIGHUP);
        QTRY_VERIFY(!other->isVisible());
        QCOMPARE(second.read("database/mails.dat"), ProgramDir::lines({"c@x", "d@"}));
        QCOMPARE(QDir(second.path("database")).entryList({"mails.dat.unloaded-*"}).size(), 1);
        QCOMPARE(recoveryCopies().size(), 1);
        QVERIFY(m_platform.log.isEmpty());
    }

    void entriesThatDidNotLoadSurviveLaterSaves()
    {
        ProgramDir dir;
        const QByteArray stored = ProgramDir::lines({"Иванов", "Петров"});
        dir.write("database/descriptions.dat", stored);
        dir.write("database/mails.dat", "");
        QFile::remove(dir.path("database/mails.dat"));
        QDir(dir.path("database")).mkdir("mails.dat"); // unreadable: a directory in its place
        auto form = start(dir, Start::Hidden);
        QCOMPARE(m_platform.log, damageLog());
        QCOMPARE(count(*form, ListId::Descriptions), 0);

        // The user goes on working; the next save must not destroy what could not be loaded.
        addEntry(*form, "new@x", "new");
        QVERIFY(form->close());
        QCOMPARE(dir.read("database/descriptions.dat"), ProgramDir::lines({"new"}));
        QCOMPARE(dir.read("database/mails.dat"), ProgramDir::lines({"new@x"}));
        const QStringList aside = QDir(dir.path("database")).entryList({"descriptions.dat.unloaded-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(dir.read("database/" + aside.first()), stored);
        QCOMPARE(QDir(dir.path("database")).entryList({"mails.dat.unloaded-*"}).size(), 1);
    }

    void everyByteSurvivesLoadDisplayAndSave()
    {
        ProgramDir dir;
        QByteArray descriptions;
        for (int b = 1; b < 256; ++b) {
            if (b != '\r' && b != '\n')
                descriptions += static_cast<char>(b);
        }
        descriptions += "\r\n";
        dir.write("database/descriptions.dat", descriptions);
        dir.write("database/mails.dat", "\x98\r\n");
        dir.writeSettings("Arial", 10, 89, 701, 497);
        auto form = start(dir);
        QCOMPARE(listBox(*form, ListId::Mails)->model()->index(0, 0).data().toString(), QString(QChar(0x98)));
        QCOMPARE(listBox(*form, ListId::Descriptions)->model()->index(0, 0).data().toString().size(), 253);
        QVERIFY(form->close());
        QCOMPARE(dir.read("database/descriptions.dat"), descriptions);
        QCOMPARE(dir.read("database/mails.dat"), QByteArray("\x98\r\n"));
    }

    void selectingInOneListSelectsTheOther()
    {
        ProgramDir dir;
        QStringList descriptions, mails;
        for (int i = 0; i < 40; ++i) {
            descriptions << QStringLiteral("d%1").arg(i);
            mails << QStringLiteral("m%1").arg(i);
        }
        dir.writeBook(descriptions, mails.mid(0, 30));
        auto form = start(dir);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        ListBox *list1 = listBox(*form, ListId::Descriptions);
        ListBox *list2 = listBox(*form, ListId::Mails);

        clickRow(list1, 5);
        QCOMPARE(list1->itemIndex(), 5);
        QCOMPARE(list2->itemIndex(), 5);

        list2->setFocus();
        QTest::keyClick(list2, Qt::Key_Down);
        QCOMPARE(list1->itemIndex(), 6);
        QTest::keyClick(list2, Qt::Key_End);
        QCOMPARE(list1->itemIndex(), 29);
        QTest::keyClick(list2, Qt::Key_Home);
        QCOMPARE(list1->itemIndex(), 0);
        QTest::keyClick(list2, Qt::Key_PageDown);
        QVERIFY(list1->itemIndex() > 0);
        QCOMPARE(list1->itemIndex(), list2->itemIndex());

        // An index the other list lacks leaves it without a selection.
        list1->setFocus();
        QTest::keyClick(list1, Qt::Key_End);
        QCOMPARE(list1->itemIndex(), 39);
        QCOMPARE(list2->itemIndex(), -1);

        // The program's own selection changes do not couple.
        select(*form, ListId::Descriptions, 2);
        QCOMPARE(list2->itemIndex(), -1);
    }

    void typingSelectsByPrefix()
    {
        ProgramDir dir;
        dir.writeBook(
            {"Бухгалтерия", "John", "бумаги", "Ёлка", "jack", "Борис", "Jan"}, {"0", "1", "2", "3", "4", "5", "6"});
        auto form = start(dir);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        ListBox *list1 = listBox(*form, ListId::Descriptions);
        ListBox *list2 = listBox(*form, ListId::Mails);
        list1->setFocus();

        typeText(list1, QStringLiteral("бум"));
        QCOMPARE(list1->itemIndex(), 2);
        QCOMPARE(list2->itemIndex(), 2);
        QTest::keyClick(list1, Qt::Key_Backspace);
        QCOMPARE(list1->itemIndex(), 0); // "бу": the first match from the top

        // Half a second is the pause that starts a new prefix: a key 300 ms after the last one
        // goes on with the prefix, a key 700 ms after it starts a new one.
        for (int attempt = 1;; ++attempt) {
            QElapsedTimer gap;
            gap.start();
            QTest::qWait(300);
            if (gap.elapsed() < 450) {
                typeText(list1, QStringLiteral("м"));
                QCOMPARE(list1->itemIndex(), 2); // "бум"
                break;
            }
            // Too busy a machine to tell 300 ms from 500: type the prefix again and retry.
            QVERIFY(attempt < 5);
            QTest::qWait(700);
            typeText(list1, QStringLiteral("бу"));
        }
        QTest::qWait(700);
        typeText(list1, QStringLiteral("JA"));
        QCOMPARE(list1->itemIndex(), 4);
        QCOMPARE(list2->itemIndex(), 4);

        QTest::keyClick(list1, Qt::Key_Backspace);
        QCOMPARE(list1->itemIndex(), 1); // "j"
        QTest::keyClick(list1, Qt::Key_Backspace);
        typeText(list1, QStringLiteral("ё"));
        QCOMPARE(list1->itemIndex(), 3);

        // An emptied prefix selects the first item.
        QTest::keyClick(list1, Qt::Key_Backspace);
        QCOMPARE(list1->itemIndex(), 0);
        QCOMPARE(list2->itemIndex(), 0);

        // An item that is all of the typed text: "ja" is at jack, "jan" at Jan.
        QTest::qWait(700);
        typeText(list1, QStringLiteral("jan"));
        QCOMPARE(list1->itemIndex(), 6);
    }

    void splitterAndHeaderMoveTogether()
    {
        ProgramDir dir;
        dir.writeBook({"a"}, {"a@x"});
        auto form = start(dir);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto *splitter = form->findChild<kvillo::Splitter *>(QStringLiteral("Splitter1"));
        auto *panel = form->findChild<kvillo::ListPanel *>(QStringLiteral("Panel4"));
        QVERIFY(splitter && panel);
        QCOMPARE(list1Width(*form), 89);

        auto drag = [&](int dx, bool cancel = false) {
            QTest::mousePress(splitter, Qt::LeftButton, {}, QPoint(1, 10));
            QMouseEvent move(QEvent::MouseMove, QPointF(1 + dx, 10), splitter->mapToGlobal(QPointF(1 + dx, 10)),
                Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(splitter, &move);
            if (cancel)
                QTest::keyClick(splitter, Qt::Key_Escape);
            else
                QTest::mouseRelease(splitter, Qt::LeftButton, {}, QPoint(1 + dx, 10));
        };

        drag(60);
        QCOMPARE(list1Width(*form), 149);
        QCOMPARE(header(*form)->sectionSize(0), 149);
        QCOMPARE(header(*form)->sectionSize(1), panel->width() - 149 - 4);

        drag(-500); // to the left edge: the list collapses
        QCOMPARE(list1Width(*form), 0);
        drag(5000); // the mails list keeps 30 pixels
        QCOMPARE(list1Width(*form), panel->width() - 34);
        QCOMPARE(header(*form)->sectionSize(0), panel->width() - 34);

        panel->setLeftWidth(100);
        drag(40, true); // Esc keeps the width but still updates the header
        QCOMPARE(list1Width(*form), 100);
        QCOMPARE(header(*form)->sectionSize(0), 100);

        // Dragging the header's first divider moves the splitter.
        QHeaderView *h = header(*form);
        const int edge = h->sectionViewportPosition(0) + h->sectionSize(0) - 1;
        QTest::mousePress(h->viewport(), Qt::LeftButton, {}, QPoint(edge, 10));
        QMouseEvent move(QEvent::MouseMove, QPointF(edge + 50, 10), h->viewport()->mapToGlobal(QPointF(edge + 50, 10)),
            Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(h->viewport(), &move);
        QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, QPoint(edge + 50, 10));
        QCOMPARE(list1Width(*form), h->sectionSize(0));
        QVERIFY(list1Width(*form) > 100);

        // Resizing the window changes the mails list only.
        const int section1 = h->sectionSize(1);
        form->resize(form->width() + 100, form->height());
        QCOMPARE(h->sectionSize(1), section1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
