// What stands at a data or settings file's place is not always a plain file of ours: a FIFO, a
// device, a symbolic link (to a file, to a device, to nothing), a file of another user, a file with
// a NUL byte in it, or a folder moved away while the program runs. Each is met for real here.

#include "data_test_util.h"

#include "book/address_store.h"
#include "book/line_list.h"
#include "book/scratch_buffer.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <QDir>
#include <QTest>

#include <cerrno>
#include <functional>

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kvillo;
using testutil::ScratchDir;

namespace {

LineList listOf(std::initializer_list<const char *> lines)
{
    LineList list;
    for (const char *line : lines)
        list.append(line);
    return list;
}

// The message `action` throws ("" when it throws nothing).
std::string errorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const Error &e) {
        return e.what();
    }
    return {};
}

std::string cannotOpen(const std::string &path, int error)
{
    return "Cannot open file \"" + path + "\". " + sys::errorText(error);
}

std::string cannotCreate(const std::string &path, int error)
{
    return "Cannot create file \"" + path + "\". " + sys::errorText(error);
}

struct stat statOf(const std::string &path, bool follow = true)
{
    struct stat st
    { };
    if ((follow ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
        st.st_mode = 0;
    return st;
}

// A book of two entries in a fresh directory.
struct Book
{
    ScratchDir dir;
    std::string descriptions = dir.path("database/descriptions.dat");
    std::string mails = dir.path("database/mails.dat");

    Book()
    {
        testutil::makeDir(dir.path("database"));
        testutil::makeDir(dir.path("config"));
        testutil::writeFile(descriptions, "one\r\ntwo\r\n");
        testutil::writeFile(mails, "one@example.org\r\ntwo@example.org\r\n");
    }
};

constexpr uid_t kNobody = 65534;

// While set, what happens as a book's lock is about to be taken: the folder is swapped for
// another (once), or the system refuses to lock folders, as on a network drive.
std::string g_swapFolder;
int atLock(sys::Step step)
{
    if (step != sys::Step::Lock)
        return 0;
    if (g_swapFolder.empty())
        return ENOLCK;
    ::rename(g_swapFolder.c_str(), (g_swapFolder + ".moved").c_str());
    ::mkdir(g_swapFolder.c_str(), 0700);
    g_swapFolder.clear();
    return 0;
}

} // namespace

class TestFileKinds : public QObject
{
    Q_OBJECT

private slots:
    void notAFile_data();
    void notAFile();
    void linkToFileFollowed();
    void danglingLink();
    void readOnlyRefused();
    void ownerAndModeKept();
    void nulInDataFile();
    void failedSaveKeepsNothingAside();
    void folderMovedAway();
    void damagedCommitRecord_data();
    void damagedCommitRecord();
    void lockStaysWithTheFolder_data();
    void lockStaysWithTheFolder();
};

void TestFileKinds::notAFile_data()
{
    QTest::addColumn<QString>("what"); // fifo, null (a link to /dev/null)
    QTest::addColumn<bool>("settings");
    QTest::newRow("FIFO as a data file") << "fifo" << false;
    QTest::newRow("FIFO as the settings file") << "fifo" << true;
    QTest::newRow("link to /dev/null as a data file") << "null" << false;
    QTest::newRow("link to /dev/null as the settings file") << "null" << true;
}

// Reading returns at once with the usual error (no FIFO blocks it, no device is read without
// limit); saving refuses, and the thing stays what it was.
void TestFileKinds::notAFile()
{
    QFETCH(QString, what);
    QFETCH(bool, settings);

    Book book;
    AddressStore store(book.dir.path());
    const std::string path = settings ? store.settingsPath() : book.mails;
    ::unlink(path.c_str());
    const bool fifo = what == QLatin1String("fifo");
    QVERIFY(fifo ? ::mkfifo(path.c_str(), 0644) == 0 : ::symlink("/dev/null", path.c_str()) == 0);
    const struct stat nullBefore = statOf("/dev/null");

    LineList list = listOf({"kept"});
    ScratchBuffer memo;
    if (settings) {
        QCOMPARE(errorOf([&] { memo.loadFromFile(path); }), cannotOpen(path, EINVAL));
        memo.addLine("FontName=");
        QCOMPARE(errorOf([&] { memo.saveToFile(path); }), cannotCreate(path, EINVAL));
    } else {
        QCOMPARE(errorOf([&] { store.load(ListId::Mails, list); }), cannotOpen(path, EINVAL));
        QCOMPARE(list.size(), std::size_t(1));
        QCOMPARE(
            errorOf([&] { store.savePair(listOf({"a"}), listOf({"a@example.org"})); }), cannotCreate(path, EINVAL));
        QCOMPARE(testutil::readFile(book.descriptions), std::string("one\r\ntwo\r\n"));
    }
    const struct stat after = statOf(path, false);
    QVERIFY(fifo ? S_ISFIFO(after.st_mode) : S_ISLNK(after.st_mode));
    const struct stat nullAfter = statOf("/dev/null");
    QVERIFY(S_ISCHR(nullAfter.st_mode));
    QCOMPARE(nullAfter.st_rdev, nullBefore.st_rdev);
    QCOMPARE(nullAfter.st_ino, nullBefore.st_ino);
    QCOMPARE(testutil::entries(book.dir.path("database")), (QStringList{"descriptions.dat", "mails.dat"}));
}

// A link to a file elsewhere: the file is read and replaced there, the link stays a link, and
// no temporary is left on either side.
void TestFileKinds::linkToFileFollowed()
{
    Book book;
    testutil::makeDir(book.dir.path("elsewhere"));
    const std::string real = book.dir.path("elsewhere/mails.dat");
    testutil::writeFile(real, "far@example.org\r\n");
    ::unlink(book.mails.c_str());
    QVERIFY(::symlink("../elsewhere/mails.dat", book.mails.c_str()) == 0);

    AddressStore store(book.dir.path());
    kvillo::BookLists loaded = testutil::loadBook(store);
    QVERIFY(loaded.mails[0] == "far@example.org");
    store.savePair(listOf({"far", "near"}), listOf({"far@example.org", "near@example.org"}));
    QVERIFY(S_ISLNK(statOf(book.mails, false).st_mode));
    QCOMPARE(testutil::readFile(real), std::string("far@example.org\r\nnear@example.org\r\n"));
    QCOMPARE(testutil::readFile(book.descriptions), std::string("far\r\nnear\r\n"));
    QCOMPARE(testutil::entries(book.dir.path("elsewhere")), QStringList{"mails.dat"});
    QCOMPARE(testutil::entries(book.dir.path("database")), (QStringList{"descriptions.dat", "mails.dat"}));
}

// A link to nothing (a drive not mounted) is an error: it stays a link, and the other file of the
// pair is not touched either.
void TestFileKinds::danglingLink()
{
    Book book;
    ::unlink(book.mails.c_str());
    QVERIFY(::symlink("/nonexistent-kvillo-drive/mails.dat", book.mails.c_str()) == 0);
    AddressStore store(book.dir.path());
    LineList list;
    QCOMPARE(errorOf([&] { store.load(ListId::Mails, list); }), cannotOpen(book.mails, ENOENT));
    QCOMPARE(
        errorOf([&] { store.savePair(listOf({"a"}), listOf({"a@example.org"})); }), cannotCreate(book.mails, ENOENT));
    QVERIFY(S_ISLNK(statOf(book.mails, false).st_mode));
    QCOMPARE(testutil::readFile(book.descriptions), std::string("one\r\ntwo\r\n"));
    QCOMPARE(testutil::entries(book.dir.path("database")), (QStringList{"descriptions.dat", "mails.dat"}));
}

// No write permission bit is a refusal, also for root, who could write anyway.
void TestFileKinds::readOnlyRefused()
{
    Book book;
    AddressStore store(book.dir.path());
    kvillo::BookLists loaded = testutil::loadBook(store);
    QVERIFY(::chmod(book.mails.c_str(), 0444) == 0);
    QCOMPARE(
        errorOf([&] { store.savePair(listOf({"a"}), listOf({"a@example.org"})); }), cannotCreate(book.mails, EACCES));
    QCOMPARE(testutil::readFile(book.descriptions), std::string("one\r\ntwo\r\n"));
    QCOMPARE(statOf(book.mails).st_mode & 07777, mode_t(0444));
}

// Root saving an ordinary user's book leaves the files the user's, with their modes, so the user
// can go on saving.
void TestFileKinds::ownerAndModeKept()
{
    if (::geteuid() != 0)
        QSKIP("only root can give files to another user");
    Book book;
    const std::string root = book.dir.path();
    QVERIFY(::chmod(root.c_str(), 0755) == 0);
    for (const std::string &path : {book.dir.path("database"), book.descriptions, book.mails})
        QVERIFY(::chown(path.c_str(), kNobody, kNobody) == 0);
    QVERIFY(::chmod(book.descriptions.c_str(), 0640) == 0);
    QVERIFY(::chmod(book.mails.c_str(), 0604) == 0);

    {
        AddressStore store(root);
        kvillo::BookLists loaded = testutil::loadBook(store);
        store.savePair(listOf({"root"}), listOf({"root@example.org"}));
    }
    for (const auto &[path, mode] : {std::pair{book.descriptions, 0640}, std::pair{book.mails, 0604}}) {
        const struct stat st = statOf(path);
        QCOMPARE(st.st_uid, kNobody);
        QCOMPARE(st.st_gid, gid_t(kNobody));
        QCOMPARE(int(st.st_mode & 07777), mode);
    }

    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0
            || ::setresuid(kNobody, kNobody, kNobody) != 0)
            ::_exit(2);
        if (::access(root.c_str(), X_OK) != 0)
            ::_exit(77);
        try {
            AddressStore store(root);
            kvillo::BookLists loaded = testutil::loadBook(store);
            loaded.descriptions.append("user");
            loaded.mails.append("user@example.org");
            store.savePair(loaded.descriptions, loaded.mails);
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        QSKIP("the test directory is out of reach of an unprivileged user");
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the user cannot save after root did");
    QCOMPARE(testutil::readFile(book.mails), std::string("root@example.org\r\nuser@example.org\r\n"));
    QCOMPARE(statOf(book.mails).st_uid, kNobody);
}

// A NUL ends a data file's text: the entries before it are shown, and the first save keeps the
// stored file, every byte of it, aside and says where.
void TestFileKinds::nulInDataFile()
{
    Book book;
    const std::string stored("a\r\nb\0c\r\nd\r\n", 11);
    testutil::writeFile(book.mails, stored);
    testutil::writeFile(book.descriptions, "A\r\nB\r\nC\r\nD\r\n");
    AddressStore store(book.dir.path());
    kvillo::BookLists loaded = testutil::loadBook(store);
    QCOMPARE(loaded.mails.size(), std::size_t(2));
    QVERIFY(loaded.mails[1] == "b");
    QVERIFY(!store.isLoaded(ListId::Mails));
    QVERIFY(store.isLoaded(ListId::Descriptions));
    QVERIFY(store.takeKeptAside().empty());

    loaded.descriptions.remove(3);
    loaded.descriptions.remove(2);
    store.savePair(loaded.descriptions, loaded.mails);
    const std::vector<std::string> kept = store.takeKeptAside();
    QCOMPARE(kept.size(), std::size_t(1));
    QVERIFY2(
        QString::fromStdString(kept[0]).startsWith(QString::fromStdString(book.mails + ".unloaded-")), kept[0].c_str());
    QVERIFY(testutil::readFile(kept[0]) == stored);
    QCOMPARE(testutil::readFile(book.mails), std::string("a\r\nb\r\n"));
    QCOMPARE(testutil::entries(book.dir.path("database")).size(), 3);

    // Told once: later saves keep nothing more aside.
    store.savePair(loaded.descriptions, loaded.mails);
    QVERIFY(store.takeKeptAside().empty());
    QCOMPARE(testutil::entries(book.dir.path("database")).size(), 3);
}

// A file that was never loaded is kept aside only by a save that succeeds: a failed one leaves
// it where it was.
void TestFileKinds::failedSaveKeepsNothingAside()
{
    Book book;
    AddressStore store(book.dir.path());
    LineList descriptions;
    store.load(ListId::Descriptions, descriptions);
    // No room for the second file (a real file size limit in a child).
    const pid_t child = ::fork();
    if (child == 0) {
        rlimit fileSize{};
        ::getrlimit(RLIMIT_FSIZE, &fileSize);
        fileSize.rlim_cur = 64;
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        const std::string error
            = errorOf([&] { store.savePair(listOf({"x"}), listOf({std::string(100, 'm').c_str()})); });
        ::_exit(error == "Stream write error" && store.takeKeptAside().empty() ? 0 : 1);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the save did not fail as it should");
    QCOMPARE(testutil::entries(book.dir.path("database")), (QStringList{"descriptions.dat", "mails.dat"}));
    QCOMPARE(testutil::readFile(book.mails), std::string("one@example.org\r\ntwo@example.org\r\n"));

    store.savePair(listOf({"x"}), listOf({"x@example.org"}));
    QCOMPARE(store.takeKeptAside().size(), std::size_t(1));
    QCOMPARE(testutil::entries(book.dir.path("database")).size(), 3);
}

// The folder is moved away while the program runs and another put at its path: the program goes
// on saving into the folder it loaded from.
void TestFileKinds::folderMovedAway()
{
    Book book;
    AddressStore store(book.dir.path());
    kvillo::BookLists loaded = testutil::loadBook(store);

    QVERIFY(::rename(book.dir.path("database").c_str(), book.dir.path("moved").c_str()) == 0);
    testutil::makeDir(book.dir.path("database"));
    testutil::writeFile(book.descriptions, "other\r\n");
    testutil::writeFile(book.mails, "other@example.org\r\n");

    loaded.descriptions.append("three");
    loaded.mails.append("three@example.org");
    store.savePair(loaded.descriptions, loaded.mails);
    store.save(ListId::Mails, loaded.mails);
    QCOMPARE(testutil::readFile(book.dir.path("moved/descriptions.dat")), std::string("one\r\ntwo\r\nthree\r\n"));
    QCOMPARE(testutil::readFile(book.dir.path("moved/mails.dat")),
        std::string("one@example.org\r\ntwo@example.org\r\nthree@example.org\r\n"));
    QCOMPARE(testutil::entries(book.dir.path("moved")), (QStringList{"descriptions.dat", "mails.dat"}));
    QCOMPARE(store.readData(ListId::Descriptions), std::string("one\r\ntwo\r\nthree\r\n"));
    QCOMPARE(testutil::readFile(book.descriptions), std::string("other\r\n"));
    QCOMPARE(testutil::readFile(book.mails), std::string("other@example.org\r\n"));
    QCOMPARE(testutil::entries(book.dir.path("database")), (QStringList{"descriptions.dat", "mails.dat"}));

    // A folder deleted meanwhile takes no file: the one now at the path does.
    QVERIFY(QDir(QString::fromStdString(book.dir.path("moved"))).removeRecursively());
    store.save(ListId::Mails, loaded.mails);
    QCOMPARE(
        testutil::readFile(book.mails), std::string("one@example.org\r\ntwo@example.org\r\nthree@example.org\r\n"));
}

void TestFileKinds::damagedCommitRecord_data()
{
    const auto fields = [](std::initializer_list<const char *> texts) {
        QByteArray record;
        for (const char *text : texts)
            record.append(text).append('\0');
        return record;
    };
    QTest::addColumn<QByteArray>("record");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("garbage") << QByteArray("not a record at all");
    QTest::newRow("cut short") << fields({"kvillo-commit", ".kvillo-save-aaaaaa", "descriptions.dat"});
    QTest::newRow("wrong checksum") << fields({"kvillo-commit", ".kvillo-save-aaaaaa", "descriptions.dat", "1",
        ".kvillo-save-bbbbbb", "mails.dat", "2", "3"});
}

// A record that is not whole is never acted on: its temporaries go, the old pair stays.
void TestFileKinds::damagedCommitRecord()
{
    QFETCH(QByteArray, record);
    Book book;
    testutil::writeFile(book.dir.path("database/.kvillo-commit"), record.toStdString());
    testutil::writeFile(book.dir.path("database/.kvillo-save-aaaaaa"), "new\r\n");
    testutil::writeFile(book.dir.path("database/.kvillo-save-bbbbbb"), "new@example.org\r\n");
    AddressStore store(book.dir.path());
    kvillo::BookLists loaded = testutil::loadBook(store);
    QCOMPARE(loaded.descriptions.size(), std::size_t(2));
    QCOMPARE(loaded.mails.size(), std::size_t(2));
    QCOMPARE(testutil::entries(book.dir.path("database")), (QStringList{"descriptions.dat", "mails.dat"}));
}

void TestFileKinds::lockStaysWithTheFolder_data()
{
    QTest::addColumn<QString>("what");
    for (const char *what : {"a link to a file", "a link to nothing", "another user's file", "a file open to others",
             "folder swapped while locking", "no locks on folders"})
        QTest::newRow(what) << what;
}

// Whatever stands at the lock file's place, and even when the folder is swapped while the lock is
// being taken, a second lock on the book at that path finds it held by us; the lock file is ours
// alone and nothing is written through a link.
void TestFileKinds::lockStaysWithTheFolder()
{
    QFETCH(QString, what);
    Book book;
    const std::string folder = book.dir.path("database/");
    const std::string lockFile = folder + sys::FolderLock::kFileName;
    const std::string outside = book.dir.path("outside");
    if (what == "a link to a file")
        testutil::writeFile(outside, "keep");
    if (what.startsWith("a link"))
        QVERIFY(::symlink(outside.c_str(), lockFile.c_str()) == 0);
    if (what.contains("file open") || what.contains("user's file")) {
        testutil::writeFile(lockFile, "host=elsewhere\n");
        QVERIFY(::chmod(lockFile.c_str(), 0644) == 0);
        if (what.contains("user's file") && ::chown(lockFile.c_str(), kNobody, kNobody) != 0)
            QSKIP("needs root to give a file to another user");
    }
    g_swapFolder = what.startsWith("folder swapped") ? book.dir.path("database") : std::string();
    sys::setStepHook(what.startsWith("folder") || what.startsWith("no locks") ? atLock : nullptr);

    sys::FolderLock first(folder);
    QCOMPARE(first.state(), sys::FolderLock::State::Held);
    sys::FolderLock second(folder);
    sys::setStepHook(nullptr);
    QCOMPARE(second.state(), sys::FolderLock::State::Busy);
    QVERIFY(second.holder() == (sys::LockHolder{sys::hostName(), std::to_string(::getpid()), sys::userName()}));
    if (what.startsWith("folder swapped"))
        QCOMPARE(sys::FolderLock(book.dir.path("database.moved/")).state(), sys::FolderLock::State::Held);
    const struct stat st = statOf(lockFile, false);
    QVERIFY(S_ISREG(st.st_mode) && (st.st_mode & 07777) == 0600 && st.st_uid == ::geteuid());
    QVERIFY(testutil::readFile(lockFile).find("pid=" + std::to_string(::getpid()) + "\n") != std::string::npos);
    QCOMPARE(testutil::readFile(outside), std::string(what == "a link to a file" ? "keep" : "<missing>"));
}

QTEST_APPLESS_MAIN(TestFileKinds)
#include "test_file_kinds.moc"
