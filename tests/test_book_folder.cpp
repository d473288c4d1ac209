// Where the address book lives when each user keeps their own, and how a first start sets it up:
// real folders and files in a scratch directory.

#include "book/address_store.h"
#include "book/book_folder.h"
#include "book/scratch_buffer.h"
#include "book/settings.h"
#include "data_test_util.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace kvillo;
using testutil::ScratchDir;

namespace {

std::string shippedSettings()
{
    return testutil::readFile(KVILLO_SOURCE_DIR "/resources/book/config/config.ini");
}

sys::Step g_failStep = sys::Step::Write;
int g_failNth = 0;
int g_calls = 0;
// Instead of failing: another first start puts its own book at this path then.
std::string g_racingBook;

// Fails the g_failNth-th step of the kind g_failStep in replacing files, as a full disk would.
int failNthStep(sys::Step step)
{
    if (step != g_failStep || ++g_calls != g_failNth)
        return 0;
    if (g_racingBook.empty())
        return ENOSPC;
    QDir().mkpath(QString::fromStdString(g_racingBook + "database"));
    testutil::writeFile(g_racingBook + "database/mails.dat", "theirs\r\n");
    return 0;
}

} // namespace

class TestBookFolder : public QObject
{
    Q_OBJECT

private slots:
    void userBookDirectory_data();
    void userBookDirectory();
    void userSettingsDirectory_data();
    void userSettingsDirectory();
    void settingsMoveOnceAndNeverOverAnything_data();
    void settingsMoveOnceAndNeverOverAnything();
    void firstStartMakesAWholeBook();
    void laterStartsLeaveTheBookAlone();
    void nothingIsMadeWhereNoFolderCanBe();
    void aFirstStartCutShortLeavesNothing_data();
    void aFirstStartCutShortLeavesNothing();
    void defaultSettingsAreWhatACloseWrites();
    void defaultBuildKeepsTheBookBesideTheProgram();
};

void TestBookFolder::userBookDirectory_data()
{
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("expected");

    QTest::newRow("data home set") << "/srv/data"
                                   << "/home/ann"
                                   << "/srv/data/kvillo/";
    QTest::newRow("data home with trailing slashes") << "/srv/data//"
                                                     << "/home/ann"
                                                     << "/srv/data/kvillo/";
    QTest::newRow("data home unset") << ""
                                     << "/home/ann"
                                     << "/home/ann/.local/share/kvillo/";
    // A relative data home is invalid and ignored.
    QTest::newRow("data home relative") << "data"
                                        << "/home/ann"
                                        << "/home/ann/.local/share/kvillo/";
    QTest::newRow("data home dot-relative") << "./share"
                                            << "/home/ann"
                                            << "/home/ann/.local/share/kvillo/";
    QTest::newRow("home with trailing slash") << ""
                                              << "/home/ann/"
                                              << "/home/ann/.local/share/kvillo/";
    QTest::newRow("home is the root") << ""
                                      << "/"
                                      << "/.local/share/kvillo/";
    QTest::newRow("data home is the root") << "/"
                                           << "/home/ann"
                                           << "/kvillo/";
}

void TestBookFolder::userBookDirectory()
{
    QFETCH(QString, dataHome);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(kvillo::userBookDirectory(dataHome.toStdString(), home.toStdString())), expected);
}

void TestBookFolder::userSettingsDirectory_data()
{
    QTest::addColumn<QString>("configHome");
    QTest::addColumn<QString>("expected");
    QTest::newRow("config home set") << "/srv/conf//"
                                     << "/srv/conf/kvillo/";
    QTest::newRow("config home unset") << ""
                                       << "/home/ann/.config/kvillo/";
    QTest::newRow("config home relative") << "conf"
                                          << "/home/ann/.config/kvillo/";
}

void TestBookFolder::userSettingsDirectory()
{
    QFETCH(QString, configHome);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(kvillo::userSettingsDirectory(configHome.toStdString(), "/home/ann")), expected);
}

// The settings file of the book's folder moves to the configuration folder once, whole, and only
// where nothing is in its way: a newer file there, or a link planted there or in the old place,
// leaves every file as it was.
void TestBookFolder::settingsMoveOnceAndNeverOverAnything_data()
{
    QTest::addColumn<QString>("oldFile"); // "file", "foreign" (another user's), "link" (to a file elsewhere), "" (none)
    QTest::addColumn<QString>("newFile"); // "file", "link" (to nothing), "" (none)
    QTest::addColumn<bool>("moved");
    QTest::newRow("an earlier version's settings") << "file"
                                                   << "" << true;
    QTest::newRow("a newer file there") << "file"
                                        << "file" << false;
    QTest::newRow("a link planted there") << "file"
                                          << "link" << false;
    QTest::newRow("a link in the old place") << "link"
                                             << "" << false;
    QTest::newRow("another user's file in the old place") << "foreign"
                                                          << "" << false;
    QTest::newRow("nothing to move") << ""
                                     << "" << false;
}

void TestBookFolder::settingsMoveOnceAndNeverOverAnything()
{
    QFETCH(QString, oldFile);
    QFETCH(QString, newFile);
    QFETCH(bool, moved);
    ScratchDir dir;
    const std::string oldFolder = dir.path("share/kvillo/config/");
    const std::string newFolder = dir.path("home/.config/kvillo/");
    testutil::makeDir(dir.path("share"));
    testutil::makeDir(dir.path("share/kvillo"));
    testutil::makeDir(oldFolder);
    testutil::writeFile(dir.path("elsewhere.ini"), "elsewhere\r\n");
    if (oldFile == "file" || oldFile == "foreign")
        testutil::writeFile(oldFolder + "config.ini", "mine\r\n");
    if (oldFile == "foreign" && ::chown((oldFolder + "config.ini").c_str(), 65534, 65534) != 0)
        QSKIP("giving a file to another user needs root");
    if (oldFile == "link")
        QCOMPARE(::symlink(dir.path("elsewhere.ini").c_str(), (oldFolder + "config.ini").c_str()), 0);
    if (!newFile.isEmpty())
        QVERIFY(makeDirectories(newFolder));
    if (newFile == "file")
        testutil::writeFile(newFolder + "config.ini", "newer\r\n");
    if (newFile == "link")
        QCOMPARE(::symlink(dir.path("planted.ini").c_str(), (newFolder + "config.ini").c_str()), 0);

    QCOMPARE(moveSettings(oldFolder, newFolder), moved);
    QCOMPARE(testutil::readFile(dir.path("elsewhere.ini")), std::string("elsewhere\r\n"));
    QVERIFY(!QFile::exists(QString::fromStdString(dir.path("planted.ini"))));
    if (moved) {
        QCOMPARE(testutil::readFile(newFolder + "config.ini"), std::string("mine\r\n"));
        // The folder it left is gone; the one it came to is its user's alone.
        QCOMPARE(testutil::entries(dir.path("share/kvillo")), QStringList());
        struct stat st
        { };
        QCOMPARE(::stat(newFolder.c_str(), &st), 0);
        QCOMPARE(st.st_mode & 077, 0u);
        QVERIFY(!moveSettings(oldFolder, newFolder)); // once
        return;
    }
    if (oldFile == "file" || oldFile == "foreign")
        QCOMPARE(testutil::readFile(oldFolder + "config.ini"), std::string("mine\r\n"));
    if (newFile == "file")
        QCOMPARE(testutil::readFile(newFolder + "config.ini"), std::string("newer\r\n"));
    if (oldFile.isEmpty())
        QVERIFY(sys::kindOf(newFolder) == sys::Kind::Missing);
}

// A fresh home without even ~/.local: the folders above are made, the book holds the two empty
// data files and the shipped settings, and the store and the settings reader take them as they are.
void TestBookFolder::firstStartMakesAWholeBook()
{
    ScratchDir dir;
    const std::string book = kvillo::userBookDirectory("", dir.path("home"));
    testutil::makeDir(dir.path("home"));

    QVERIFY(createBookOnFirstStart(book));
    QCOMPARE(testutil::entries(book), QStringList({"config", "database"}));
    QCOMPARE(testutil::entries(book + "database"), QStringList({"descriptions.dat", "mails.dat"}));
    QCOMPARE(testutil::entries(book + "config"), QStringList({"config.ini"}));
    // No scratch folder of the making is left beside the book.
    QCOMPARE(testutil::entries(dir.path("home/.local/share")), QStringList({"kvillo"}));

    AddressStore store(book);
    QCOMPARE(testutil::readFile(store.dataPath(ListId::Mails)), std::string());
    QCOMPARE(testutil::readFile(store.dataPath(ListId::Descriptions)), std::string());
    QCOMPARE(testutil::bytes(testutil::readFile(store.settingsPath())), testutil::bytes(shippedSettings()));
    LineList mails;
    store.load(ListId::Mails, mails);
    QCOMPARE(mails.size(), std::size_t(0));

    // An address book is private: only its owner may enter the folders made for it, or read its files.
    for (const std::string &path :
        {dir.path("home/.local"), book, book + "database", store.dataPath(ListId::Mails), store.settingsPath()}) {
        struct stat st
        { };
        QCOMPARE(::stat(path.c_str(), &st), 0);
        QVERIFY2((st.st_mode & 077) == 0, path.c_str());
    }
}

// Once the folder exists nothing is made or replaced: entries stay, and a file that went missing
// stays missing, so the start reports the damage instead of silently starting an empty book.
void TestBookFolder::laterStartsLeaveTheBookAlone()
{
    ScratchDir dir;
    const std::string book = dir.path("kvillo/");
    QVERIFY(createBookOnFirstStart(book));
    AddressStore store(book);
    testutil::writeFile(store.dataPath(ListId::Mails), "ann@example.org\r\n");
    QCOMPARE(::remove(store.dataPath(ListId::Descriptions).c_str()), 0);

    QVERIFY(!createBookOnFirstStart(book));
    QCOMPARE(testutil::readFile(store.dataPath(ListId::Mails)), std::string("ann@example.org\r\n"));
    LineList descriptions;
    QVERIFY_THROWS_EXCEPTION(FileOpenError, store.load(ListId::Descriptions, descriptions));

    // An empty folder made by hand is the user's too.
    testutil::makeDir(dir.path("empty"));
    QVERIFY(!createBookOnFirstStart(dir.path("empty/")));
    QCOMPARE(testutil::entries(dir.path("empty")), QStringList());
}

void TestBookFolder::nothingIsMadeWhereNoFolderCanBe()
{
    ScratchDir dir;
    // A file where the book's folder should be.
    testutil::writeFile(dir.path("kvillo"), "not a folder");
    QVERIFY(!createBookOnFirstStart(dir.path("kvillo/")));
    QCOMPARE(testutil::readFile(dir.path("kvillo")), std::string("not a folder"));
    // A file where a folder above it should be.
    testutil::writeFile(dir.path("share"), "");
    QVERIFY(!createBookOnFirstStart(dir.path("share/kvillo/")));
    QCOMPARE(testutil::entries(dir.path()), QStringList({"kvillo", "share"}));
}

void TestBookFolder::aFirstStartCutShortLeavesNothing_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("nth");
    QTest::addColumn<bool>("racing"); // another start makes the book meanwhile: the last rename fails
    // Each of the three files is written, flushed and renamed into place; after each rename the
    // folder is flushed too (a failure there is not an error).
    const char *const files[] = {"mails.dat", "descriptions.dat", "config.ini"};
    for (int file = 0; file < 3; ++file) {
        QTest::addRow("writing %s", files[file]) << int(sys::Step::Write) << file + 1 << false;
        QTest::addRow("flushing %s", files[file]) << int(sys::Step::Sync) << 2 * file + 1 << false;
        QTest::addRow("renaming %s", files[file]) << int(sys::Step::Rename) << file + 1 << false;
    }
    QTest::addRow("another start makes the book first") << int(sys::Step::Rename) << 3 << true;
}

// A disk that fills up while the book is being made: no half-made book is left (it would
// otherwise be taken for a damaged one at every later start), and the next start makes it whole.
// A start that loses to another leaves that one's book alone and nothing of its own.
void TestBookFolder::aFirstStartCutShortLeavesNothing()
{
    QFETCH(int, step);
    QFETCH(int, nth);
    QFETCH(bool, racing);
    ScratchDir dir;
    const std::string book = dir.path("share/kvillo/");
    g_calls = 0;
    g_failStep = static_cast<sys::Step>(step);
    g_failNth = nth;
    g_racingBook = racing ? book : std::string();
    sys::setStepHook(failNthStep);
    const bool made = createBookOnFirstStart(book);
    sys::setStepHook(nullptr);
    QCOMPARE(g_calls, nth);
    QVERIFY(!made);
    QCOMPARE(testutil::entries(dir.path("share")), racing ? QStringList{"kvillo"} : QStringList());
    if (racing) {
        QCOMPARE(testutil::entries(book + "database"), QStringList{"mails.dat"});
        QCOMPARE(testutil::readFile(book + "database/mails.dat"), std::string("theirs\r\n"));
        return;
    }

    QVERIFY(createBookOnFirstStart(book));
    QCOMPARE(
        testutil::bytes(testutil::readFile(AddressStore(book).settingsPath())), testutil::bytes(shippedSettings()));
}

// The shipped settings file is exactly what the program writes at a close with the default font
// and window, so a first start followed by a close changes no byte of it.
void TestBookFolder::defaultSettingsAreWhatACloseWrites()
{
    QCOMPARE(testutil::bytes(defaultSettingsText()), testutil::bytes(shippedSettings()));
    ScratchBuffer memo;
    memo.setText(std::string(defaultSettingsText()));
    Settings read;
    readSettings(memo, read);
    QVERIFY(read.fontName && read.fontSize && read.list1Width && read.width && read.height);
    writeSettings(memo, {*read.fontName, *read.fontSize, *read.list1Width, *read.width, *read.height});
    QCOMPARE(testutil::bytes(memo.text()), testutil::bytes(defaultSettingsText()));
}

void TestBookFolder::defaultBuildKeepsTheBookBesideTheProgram()
{
#ifdef KVILLO_USER_DATA
    QSKIP("this build keeps the book in the user's data folder");
#else
    QCOMPARE(bookDirectory(), applicationDirectory());
#endif
}

QTEST_APPLESS_MAIN(TestBookFolder)
#include "test_book_folder.moc"
