// What stands at a data or settings file's place is not always a plain file of ours: a FIFO, a
// device, a symbolic link (to a file, to a device, to nothing), a file of another user, a file with
// a NUL byte in it, or a folder moved away while the program runs. Each is met for real here.

#include "data_test_util.h"

#include "book/address_book.h"
#include "book/address_store.h"
#include "book/line_list.h"
#include "book/scratch_buffer.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <functional>
#include <map>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
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

// What a save of a third entry writes, and the temporaries a commit record of it names.
const std::string kNewDescriptions = "one\r\ntwo\r\nthree\r\n";
const std::string kNewMails = "one@example.org\r\ntwo@example.org\r\nthree@example.org\r\n";
const char *const kTemporaries[] = {".kvillo-save-aaaaaa", ".kvillo-save-bbbbbb"};

using testutil::contentsOf;
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
    void cutShortCommit_data();
    void cutShortCommit();
    void linkOfAnotherOwnerRefused_data();
    void linkOfAnotherOwnerRefused();
    void backupOverTheBookRefused_data();
    void backupOverTheBookRefused();
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
    const std::vector<AddressStore::KeptAside> kept = store.takeKeptAside();
    QCOMPARE(kept.size(), std::size_t(1));
    QCOMPARE(kept[0].file, book.mails);
    QVERIFY2(QString::fromStdString(kept[0].copy).startsWith(QString::fromStdString(book.mails + ".unloaded-")),
        kept[0].copy.c_str());
    QVERIFY(testutil::readFile(kept[0].copy) == stored);
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
    QTest::addColumn<QByteArray>("record"); // when no names are given
    // Temporary and target of each file of a record as the program writes it; "victim" is a file
    // outside the book, by its full path.
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("placed"); // the record is a file, a link to one, a folder, huge
    const QStringList ours = {kTemporaries[0], "descriptions.dat", kTemporaries[1], "mails.dat"};
    const auto with = [&](int i, const char *name) {
        QStringList names = ours;
        names[i] = name;
        return names;
    };
    QTest::newRow("empty") << QByteArray() << QStringList() << "file";
    QTest::newRow("garbage") << QByteArray("not a record at all") << QStringList() << "file";
    QTest::newRow("cut short") << fields({"kvillo-commit", kTemporaries[0], "descriptions.dat"}) << QStringList()
                               << "file";
    QTest::newRow("wrong checksum") << fields(
        {"kvillo-commit", kTemporaries[0], "descriptions.dat", "1", kTemporaries[1], "mails.dat", "2", "3"})
                                    << QStringList() << "file";
    QTest::newRow("only its own checksum wrong") << QByteArray() << ours << "file";
    QTest::newRow("target outside the folder") << QByteArray() << with(1, "../victim") << "file";
    QTest::newRow("target a full path") << QByteArray() << with(3, "victim") << "file";
    QTest::newRow("target not a file of the pair") << QByteArray() << with(1, "notes.txt") << "file";
    QTest::newRow("temporary outside the folder") << QByteArray() << with(0, "../victim") << "file";
    QTest::newRow("temporary not the program's") << QByteArray() << with(2, "notes.txt") << "file";
    QTest::newRow("a name twice") << QByteArray() << with(3, "descriptions.dat") << "file";
    QTest::newRow("a link to a good record") << QByteArray() << ours << "link";
    QTest::newRow("a good record in a huge file") << QByteArray() << ours << "huge";
    QTest::newRow("a folder") << QByteArray() << QStringList() << "folder";
}

// A record that is not one the program writes (damaged, planted with names of files anywhere, a
// link, too large) is acted on in no way: it is set aside under a name that says so, every file
// keeps its bytes, the user is told once, and the book opens as it was.
void TestFileKinds::damagedCommitRecord()
{
    QFETCH(QByteArray, record);
    QFETCH(QStringList, names);
    QFETCH(QString, placed);
    Book book;
    const std::string victim = book.dir.path("victim");
    const std::string path = book.dir.path("database/.kvillo-commit");
    testutil::writeFile(victim, kNewDescriptions);
    testutil::writeFile(book.dir.path("database/notes.txt"), kNewMails);
    for (int i = 0; i < 2; ++i)
        testutil::writeFile(book.dir.path("database/") + kTemporaries[i], i == 0 ? kNewDescriptions : kNewMails);
    std::string bytes = record.toStdString();
    if (!names.isEmpty()) {
        const auto name = [&](int j) { return names[j] == "victim" ? victim : names[j].toStdString(); };
        bytes = sys::encodeCommitRecord(
            {{name(0), name(1), sys::checksum(kNewDescriptions)}, {name(2), name(3), sys::checksum(kNewMails)}});
        if (QTest::currentDataTag() == QLatin1String("only its own checksum wrong"))
            bytes[bytes.size() - 2] = bytes[bytes.size() - 2] == '1' ? '2' : '1';
    }
    if (placed == QLatin1String("folder"))
        testutil::makeDir(path);
    else
        testutil::writeFile(placed == QLatin1String("link") ? book.dir.path("record") : path, bytes);
    QVERIFY(placed != QLatin1String("link") || ::symlink("../record", path.c_str()) == 0);
    QVERIFY(placed != QLatin1String("huge") || ::truncate(path.c_str(), off_t(3) << 30) == 0);
    const auto outside = contentsOf(book.dir.path());
    auto inside = contentsOf(book.dir.path("database"));

    AddressStore store(book.dir.path());
    QCOMPARE(testutil::loadBook(store).mails.size(), std::size_t(2));
    const std::vector<std::string> notices = store.takeNotices();
    QCOMPARE(notices.size(), std::size_t(1));
    const std::size_t from = notices[0].find(path + ".rejected-");
    QVERIFY2(from != std::string::npos, notices[0].c_str());
    const std::string aside = notices[0].substr(from, notices[0].find("»", from) - from);
    inside[aside.substr(aside.rfind('/') + 1)] = inside[".kvillo-commit"];
    inside.erase(".kvillo-commit");
    QCOMPARE(contentsOf(book.dir.path()), outside);
    QVERIFY(contentsOf(book.dir.path("database")) == inside);

    // Told once; saves go on and leave the set-aside record's temporaries alone.
    store.savePair(listOf({"x"}), listOf({"x@example.org"}));
    QVERIFY(store.takeNotices().empty());
    QCOMPARE(contentsOf(book.dir.path("database")).size(), inside.size());
}

void TestFileKinds::cutShortCommit_data()
{
    // The temporary of each file as a cut-short commit left it: complete; torn (shorter than the
    // record says); renamed (gone, the file is new); a link to a complete file elsewhere; complete
    // but held by a save in progress.
    QTest::addColumn<QStringList>("temporaries");
    QTest::addColumn<QString>("outcome"); // new pair, old pair, or refused with everything left
    QTest::newRow("both complete") << QStringList{"complete", "complete"} << "new";
    QTest::newRow("the first renamed") << QStringList{"renamed", "complete"} << "new";
    QTest::newRow("one torn, none renamed") << QStringList{"complete", "torn"} << "old";
    QTest::newRow("the first renamed, the second torn") << QStringList{"renamed", "torn"} << "refused";
    QTest::newRow("a temporary that is a link") << QStringList{"link", "complete"} << "old";
    QTest::newRow("a temporary a save holds") << QStringList{"held", "complete"} << "refused";
}

// A commit record of the program's own: completed when every file can be, undone when nothing is
// renamed yet, and otherwise left with every file for a later try while the book stays closed.
void TestFileKinds::cutShortCommit()
{
    QFETCH(QStringList, temporaries);
    QFETCH(QString, outcome);
    Book book;
    testutil::makeDir(book.dir.path("elsewhere"));
    const std::string targets[] = {book.descriptions, book.mails};
    const std::string olds[] = {testutil::readFile(targets[0]), testutil::readFile(targets[1])};
    const std::string news[] = {kNewDescriptions, kNewMails};
    QFile held(QString::fromStdString(book.dir.path("database/") + kTemporaries[0]));
    for (int i = 0; i < 2; ++i) {
        const std::string temporary = book.dir.path("database/") + kTemporaries[i];
        const std::string elsewhere = book.dir.path("elsewhere/") + std::to_string(i);
        testutil::writeFile(elsewhere, news[i]);
        if (temporaries[i] == "renamed")
            testutil::writeFile(targets[i], news[i]);
        else if (temporaries[i] == "link")
            QVERIFY(::symlink(elsewhere.c_str(), temporary.c_str()) == 0);
        else
            testutil::writeFile(temporary, temporaries[i] == "torn" ? news[i].substr(3) : news[i]);
    }
    if (temporaries[0] == "held")
        QVERIFY(held.open(QIODevice::ReadOnly) && ::flock(held.handle(), LOCK_EX) == 0);
    testutil::writeFile(book.dir.path("database/.kvillo-commit"),
        sys::encodeCommitRecord({{kTemporaries[0], "descriptions.dat", sys::checksum(kNewDescriptions)},
            {kTemporaries[1], "mails.dat", sys::checksum(kNewMails)}}));
    const auto before = contentsOf(book.dir.path("database"));

    AddressStore store(book.dir.path());
    const std::string error = errorOf([&] { testutil::loadBook(store); });
    if (outcome == QLatin1String("refused")) {
        QVERIFY2(error.find("Не удалось завершить прерванное сохранение") == 0, error.c_str());
        QVERIFY(contentsOf(book.dir.path("database")) == before);
        return;
    }
    QCOMPARE(error, std::string());
    for (int i = 0; i < 2; ++i)
        QCOMPARE(testutil::readFile(targets[i]), outcome == QLatin1String("new") ? news[i] : olds[i]);
    // Nothing else is left, save a link under a temporary's name, which is not the program's.
    QStringList left = {"descriptions.dat", "mails.dat"};
    if (temporaries[0] == "link")
        left.insert(0, kTemporaries[0]);
    QCOMPARE(testutil::entries(book.dir.path("database")), left);
    QCOMPARE(testutil::readFile(book.dir.path("elsewhere/0")), kNewDescriptions);
}

void TestFileKinds::linkOfAnotherOwnerRefused_data()
{
    QTest::addColumn<bool>("settings"); // the settings file, or a data file
    QTest::addColumn<QString>("foreign"); // what another user owns: the link, its target, its folder
    QTest::newRow("data file: another's link") << false << "link";
    QTest::newRow("data file: a link to another's file") << false << "target";
    QTest::newRow("settings: a link in another's folder") << true << "folder";
}

// Root saving a book whose folder someone else could write: a link to a file is followed only when
// the link, the folder holding it and the file have one owner; otherwise the save is refused with
// the usual error and writes nothing anywhere.
void TestFileKinds::linkOfAnotherOwnerRefused()
{
    QFETCH(bool, settings);
    QFETCH(QString, foreign);
    if (::geteuid() != 0)
        QSKIP("only root can give files to another user");
    Book book;
    AddressStore store(book.dir.path());
    const std::string path = settings ? store.settingsPath() : book.mails;
    const std::string folder = path.substr(0, path.rfind('/'));
    const std::string victim = book.dir.path("victim");
    testutil::writeFile(victim, "root's own\n");
    ::unlink(path.c_str());
    QVERIFY(::symlink(victim.c_str(), path.c_str()) == 0);
    const auto owner = [&](const char *what) { return foreign == QLatin1String(what) ? kNobody : uid_t(0); };
    QVERIFY(::lchown(path.c_str(), owner("link"), -1) == 0 && ::chown(victim.c_str(), owner("target"), -1) == 0
        && ::chown(folder.c_str(), owner("folder"), -1) == 0);
    const auto before = contentsOf(folder);

    ScratchBuffer memo;
    memo.addLine("FontName=");
    QCOMPARE(settings ? errorOf([&] { memo.saveToFile(path); })
                      : errorOf([&] { store.savePair(listOf({"a"}), listOf({"a@example.org"})); }),
        cannotCreate(path, EACCES));
    QCOMPARE(testutil::readFile(victim), std::string("root's own\n"));
    QVERIFY(S_ISLNK(statOf(path, false).st_mode));
    QVERIFY(contentsOf(folder) == before);
}

void TestFileKinds::backupOverTheBookRefused_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("the other data file by another path") << "config/../database/descriptions.dat";
    QTest::newRow("a link to a data file") << "link";
    QTest::newRow("a hard link to a data file") << "hard";
    QTest::newRow("the settings file") << "config/config.ini";
    QTest::newRow("the lock file") << "database/.kvillo.lock";
    QTest::newRow("the commit record, not there") << "database/.kvillo-commit";
}

// A backup (as an export) is never written over a file of the book itself, by whatever name.
void TestFileKinds::backupOverTheBookRefused()
{
    QFETCH(QString, target);
    Book book;
    testutil::writeFile(book.dir.path("config/config.ini"), "FontName=\r\n");
    testutil::writeFile(book.dir.path("database/.kvillo.lock"), "pid=1\n");
    QVERIFY(::symlink("database/mails.dat", book.dir.path("link").c_str()) == 0);
    QVERIFY(::link(book.mails.c_str(), book.dir.path("hard").c_str()) == 0);
    const auto before = contentsOf(book.dir.path("database"));
    AddressBook document(book.dir.path());
    document.load();
    const std::string path = book.dir.path(target.toStdString());
    QCOMPARE(errorOf([&] { document.backUp(ListId::Descriptions, path); }),
        "Файл «" + path + "» — это файл самой адресной книги, резервную копию нельзя записать поверх него");
    QVERIFY(contentsOf(book.dir.path("database")) == before);
    QCOMPARE(testutil::readFile(book.dir.path("config/config.ini")), std::string("FontName=\r\n"));
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
