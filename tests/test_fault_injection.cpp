// Faults induced for real while the address book, the settings and backup copies are written: the
// process killed at every step of a save, a full disk, failing system calls, and a user without
// rights. Whatever happens, every file is either its old or its new self, byte for byte.

#include "data_test_util.h"

#include "book/address_book.h"
#include "book/scratch_buffer.h"
#include "book/settings.h"
#include "sys/cp1251.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kvillo;
using testutil::ScratchDir;

namespace {

// A failed expectation inside a child process, where QtTest's macros cannot report.
struct Failure : std::runtime_error
{
    using std::runtime_error::runtime_error;
};
constexpr int kSkipped = 77;

void expect(bool ok, const std::string &what)
{
    if (!ok)
        throw Failure(what);
}

struct ChildResult
{
    int status = 0;
    std::string message; // what the child threw, if anything

    bool exitedWith(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
    bool killed() const { return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL; }
};

// Runs `body` in a child process. Its exit code is 0 when it returned, 1 when it threw.
ChildResult inChild(const std::function<void()> &body)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return {-1, "pipe failed"};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(channel[0]);
        int code = 0;
        std::string message;
        try {
            body();
        } catch (const std::exception &e) {
            message = e.what();
            code = 1;
        }
        if (message == "skip")
            code = kSkipped;
        (void)!::write(channel[1], message.data(), message.size());
        ::_exit(code);
    }
    ::close(channel[1]);
    ChildResult result;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        result.message.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    ::waitpid(pid, &result.status, 0);
    return result;
}

// Made-up entries in the code page of the data files, with empty lines and rare bytes among them.
void fillBook(BookLists &book, int entries, unsigned seed)
{
    const std::vector<std::string> names = {cp1251::fromUtf8("Иванов Пётр"), cp1251::fromUtf8("Смирнова Анна"),
        cp1251::fromUtf8("Отдел продаж, ООО «Ромашка»"), "Support team", std::string(), "\x98\xA0\xFF"};
    std::uint32_t state = seed;
    const auto next = [&state] { return state = state * 1664525u + 1013904223u; };
    for (int i = 0; i < entries; ++i) {
        const std::uint32_t r = next();
        book.descriptions.append(names[r % names.size()] + ' ' + std::to_string(r % 100000));
        book.mails.append(
            r % 97 == 0 ? std::string() : "user" + std::to_string(r) + "@mail" + std::to_string(r % 50) + ".ru");
    }
}

std::string text(const LineList &list)
{
    return list.toText();
}

// Names in `directory` other than `expected`, as a readable list.
std::string strayNames(const std::string &directory, QStringList expected)
{
    QStringList names = testutil::entries(directory);
    expected.sort();
    return names == expected ? std::string() : names.join(' ').toStdString();
}

// The step hook of a child process killed at its N-th step of replacing a file.
int g_killAt = 0;
int g_steps = 0;
int killAtStep(sys::Step)
{
    if (++g_steps == g_killAt)
        ::kill(::getpid(), SIGKILL);
    return 0;
}

// The steps of a save as the hook sees them, each with the number of flushes to disk done before it.
std::vector<std::pair<sys::Step, int>> g_seen;
int recordStep(sys::Step step)
{
    g_seen.emplace_back(step, sys::syncCount());
    return 0;
}

// What `action` throws while the `nth` occurrence of `step` fails with `error` ("" if nothing).
std::string messageWhenFailing(sys::Step step, int nth, int error, const std::function<void()> &action)
{
    const testutil::FailingStep failing(step, nth, error);
    try {
        action();
    } catch (const Error &e) {
        return e.what();
    }
    return {};
}

struct Target
{
    std::string path;
    std::string before;
    std::string after;
};

// A save and the files it replaces, in the order it replaces them.
struct Save
{
    std::vector<Target> targets;
    std::map<std::string, QStringList> directories; // what each directory holds afterwards
    std::function<void()> run;
};

void putBack(const Save &save)
{
    for (const Target &target : save.targets)
        testutil::writeFile(target.path, target.before);
}

std::string unexpectedFiles(const Save &save)
{
    std::string found;
    for (const auto &[directory, names] : save.directories) {
        const std::string stray = strayNames(directory, names);
        if (!stray.empty())
            found += directory + ": " + stray + "; ";
    }
    return found;
}

} // namespace

class TestFaultInjection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void crashWhileSavingDataFiles();
    void crashWhileSavingPair_data();
    void crashWhileSavingPair();
    void pairFailsBetweenFiles_data();
    void pairFailsBetweenFiles();
    void fileSizeLimitBetweenFiles();
    void flushesBeforeRenames_data();
    void flushesBeforeRenames();
    void crashWhileSavingSettings();
    void crashWhileWritingBackups();
    void savesInProgressAreLeftAlone();
    void diskFull();
    void failingSystemCall_data();
    void failingSystemCall();
    void withoutRights_data();
    void withoutRights();

private:
    // The address book on disk before the save and the one saved over it.
    BookLists m_old;
    BookLists m_new;

    // A directory with the data files of m_old and a settings file.
    void prepare(const ScratchDir &dir);
    Save dataFilesSave(const ScratchDir &dir);
    void crashAtEveryStep(const Save &save, const char *what);
};

void TestFaultInjection::initTestCase()
{
    fillBook(m_old, 20000, 1);
    fillBook(m_new, 20000, 1);
    // The user's edits since the load: some entries changed, some deleted, many added.
    for (std::size_t i = 0; i < m_new.descriptions.size(); i += 97)
        m_new.descriptions.replace(i, cp1251::fromUtf8("Изменено ") + std::to_string(i));
    for (int i = 0; i < 50; ++i) {
        m_new.descriptions.remove(10 * i);
        m_new.mails.remove(10 * i);
    }
    fillBook(m_new, 3000, 2);
}

void TestFaultInjection::prepare(const ScratchDir &dir)
{
    testutil::makeDir(dir.path("database"));
    testutil::makeDir(dir.path("config"));
    testutil::writeFile(dir.path("database/descriptions.dat"), text(m_old.descriptions));
    testutil::writeFile(dir.path("database/mails.dat"), text(m_old.mails));
    testutil::writeFile(dir.path("config/config.ini"), "FontName=\r\nArial\r\n");
}

// Saving at close: the data files are loaded at start-up, then written descriptions first.
Save TestFaultInjection::dataFilesSave(const ScratchDir &dir)
{
    Save save;
    save.targets = {{dir.path("database/descriptions.dat"), text(m_old.descriptions), text(m_new.descriptions)},
        {dir.path("database/mails.dat"), text(m_old.mails), text(m_new.mails)}};
    save.directories[dir.path("database")] = {"descriptions.dat", "mails.dat"};
    const std::string root = dir.path();
    save.run = [this, root] {
        AddressStore store(root);
        LineList loaded;
        store.load(ListId::Descriptions, loaded);
        store.load(ListId::Mails, loaded);
        store.save(ListId::Descriptions, m_new.descriptions);
        store.save(ListId::Mails, m_new.mails);
    };
    return save;
}

// Kills a child at the first, second, ... step of the save until one completes. After each kill
// every file is old or new and the files are replaced in order; the next save (the program
// started again) completes and leaves nothing else behind.
void TestFaultInjection::crashAtEveryStep(const Save &save, const char *what)
{
    int kills = 0;
    for (g_killAt = 1;; ++g_killAt) {
        QVERIFY2(g_killAt < 100, "the save never completes");
        putBack(save);
        const ChildResult result = inChild([&save] {
            g_steps = 0;
            sys::setStepHook(killAtStep);
            save.run();
        });
        if (result.exitedWith(0))
            break;
        QVERIFY2(result.killed(), result.message.c_str());
        ++kills;

        bool replaced = true;
        for (const Target &target : save.targets) {
            const std::string bytes = testutil::readFile(target.path);
            const std::string where = target.path + " after a kill at step " + std::to_string(g_killAt);
            QVERIFY2(bytes == target.before || bytes == target.after, ("garbled: " + where).c_str());
            QVERIFY2(replaced || bytes == target.before, ("replaced out of order: " + where).c_str());
            replaced = bytes == target.after && target.before != target.after;
        }

        save.run();
        for (const Target &target : save.targets)
            QVERIFY(testutil::readFile(target.path) == target.after);
        const std::string stray = unexpectedFiles(save);
        QVERIFY2(
            stray.empty(), ("left behind after a kill at step " + std::to_string(g_killAt) + ": " + stray).c_str());
    }
    for (const Target &target : save.targets)
        QVERIFY(testutil::readFile(target.path) == target.after);
    QCOMPARE(unexpectedFiles(save), std::string());
    // Each file goes through writing, flushing, renaming and flushing its directory.
    QVERIFY(kills >= 4 * static_cast<int>(save.targets.size()) - 1);
    qInfo("%s: killed at %d points, all files whole", what, kills);
}

void TestFaultInjection::crashWhileSavingDataFiles()
{
    ScratchDir dir;
    prepare(dir);
    crashAtEveryStep(dataFilesSave(dir), "data files");
}

void TestFaultInjection::crashWhileSavingSettings()
{
    ScratchDir dir;
    prepare(dir);
    ScratchBuffer memo;
    writeSettings(memo, {cp1251::fromUtf8("Тахома"), 12, 240, 1024, 768});
    Save save;
    save.targets = {{dir.path("config/config.ini"), testutil::readFile(dir.path("config/config.ini")), memo.text()}};
    save.directories[dir.path("config")] = {"config.ini"};
    const std::string path = dir.path("config/config.ini");
    save.run = [path] {
        ScratchBuffer memo;
        writeSettings(memo, {cp1251::fromUtf8("Тахома"), 12, 240, 1024, 768});
        memo.saveToFile(path);
    };
    crashAtEveryStep(save, "settings file");
}

void TestFaultInjection::crashWhileWritingBackups()
{
    ScratchDir dir;
    prepare(dir);
    testutil::makeDir(dir.path("copies"));
    // Earlier backups under the same names are replaced.
    Save save;
    save.targets = {{dir.path("copies/x.bak"), "old mails\r\n", text(m_old.mails)},
        {dir.path("copies/y.bak"), "old descriptions", text(m_old.descriptions)}};
    save.directories[dir.path("copies")] = {"x.bak", "y.bak"};
    save.directories[dir.path("database")] = {"descriptions.dat", "mails.dat"};
    const std::string root = dir.path();
    save.run = [root] {
        AddressStore store(root);
        ScratchBuffer memo;
        memo.clear();
        memo.loadFromFile(store.dataPath(ListId::Mails));
        memo.saveToFile(root + "copies/x.bak");
        memo.clear();
        memo.loadFromFile(store.dataPath(ListId::Descriptions));
        memo.saveToFile(root + "copies/y.bak");
    };
    crashAtEveryStep(save, "backup copies");
}

// A temporary file still locked by a save in progress (here: of another program on a shared backup
// directory) is no leftover; once its writer is gone, the next save removes it.
void TestFaultInjection::savesInProgressAreLeftAlone()
{
    ScratchDir dir;
    prepare(dir);
    const std::string temporary = dir.path("database/.kvillo-save-Ab12Cd");
    testutil::writeFile(temporary, "half a file");
    const int writer = ::open(temporary.c_str(), O_RDONLY);
    QVERIFY(writer >= 0 && ::flock(writer, LOCK_EX) == 0);
    const Save save = dataFilesSave(dir);
    save.run();
    QCOMPARE(testutil::readFile(temporary), std::string("half a file"));
    ::close(writer);
    save.run();
    QCOMPARE(unexpectedFiles(save), std::string());
}

// A file size limit makes every write past it fail with EFBIG, as a full disk fails it.
void TestFaultInjection::diskFull()
{
    ScratchDir dir;
    prepare(dir);
    const Save save = dataFilesSave(dir);
    const std::size_t sizes[] = {save.targets[0].after.size(), save.targets[1].after.size()};
    QVERIFY(sizes[0] != sizes[1]);
    std::vector<rlim_t> limits = {0, 1, 4096};
    for (const std::size_t size : sizes)
        limits.insert(limits.end(), {size / 2, size - 1, size, size + 1});

    for (const rlim_t limit : limits) {
        putBack(save);
        const ChildResult result = inChild([&] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit fileSize{};
            ::getrlimit(RLIMIT_FSIZE, &fileSize);
            const rlim_t unlimited = fileSize.rlim_max;
            fileSize.rlim_cur = limit;
            expect(::setrlimit(RLIMIT_FSIZE, &fileSize) == 0, "setrlimit");

            AddressStore store(dir.path());
            BookLists book;
            store.load(ListId::Descriptions, book.descriptions);
            store.load(ListId::Mails, book.mails);
            book.descriptions = m_new.descriptions;
            book.mails = m_new.mails;
            // Descriptions first, as at close; a failure ends the save.
            const bool fits[] = {sizes[0] <= limit, sizes[0] <= limit && sizes[1] <= limit};
            std::string error;
            try {
                store.save(ListId::Descriptions, book.descriptions);
                store.save(ListId::Mails, book.mails);
            } catch (const Error &e) {
                error = e.what();
            }
            expect(error == (fits[1] ? "" : "Stream write error"), "unexpected outcome: '" + error + "'");
            for (int i = 0; i < 2; ++i) {
                const Target &target = save.targets[i];
                expect(testutil::readFile(target.path) == (fits[i] ? target.after : target.before),
                    target.path + " is neither kept nor saved");
            }
            expect(strayNames(dir.path("database"), {"descriptions.dat", "mails.dat"}).empty(), "temporary file left");
            expect(text(book.descriptions) == save.targets[0].after && text(book.mails) == save.targets[1].after,
                "entries lost from memory");

            // Space is back: the same save goes through.
            fileSize.rlim_cur = unlimited;
            expect(::setrlimit(RLIMIT_FSIZE, &fileSize) == 0, "setrlimit");
            store.save(ListId::Descriptions, book.descriptions);
            store.save(ListId::Mails, book.mails);
        });
        QVERIFY2(result.exitedWith(0), ("limit " + std::to_string(limit) + ": " + result.message).c_str());
        for (const Target &target : save.targets)
            QVERIFY(testutil::readFile(target.path) == target.after);
    }
    qInfo("full disk at %zu file size limits, nothing lost", limits.size());
}

void TestFaultInjection::failingSystemCall_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("nth");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message");

    const auto cannotCreate = [](int error) {
        return QStringLiteral("Cannot create file \"%1\". ") + QString::fromStdString(sys::errorText(error));
    };
    QTest::newRow("write: no space") << int(sys::Step::Write) << 1 << ENOSPC << "Stream write error";
    QTest::newRow("write: quota") << int(sys::Step::Write) << 1 << EDQUOT << "Stream write error";
    QTest::newRow("flush: I/O error") << int(sys::Step::Sync) << 1 << EIO << "Stream write error";
    QTest::newRow("rename: other device") << int(sys::Step::Rename) << 1 << EXDEV << cannotCreate(EXDEV);
    QTest::newRow("rename: no access") << int(sys::Step::Rename) << 1 << EACCES << cannotCreate(EACCES);
}

// A system call that fails while a data file is replaced: the user is told, the file is as it
// was, no temporary file; once the fault is gone the same save succeeds.
void TestFaultInjection::failingSystemCall()
{
    QFETCH(int, step);
    QFETCH(int, nth);
    QFETCH(int, error);
    QFETCH(QString, message);

    ScratchDir dir;
    prepare(dir);
    const Save save = dataFilesSave(dir);
    const Target &target = save.targets[0];
    AddressStore store(dir.path());
    LineList loaded;
    store.load(ListId::Descriptions, loaded);

    const std::string thrown = messageWhenFailing(
        static_cast<sys::Step>(step), nth, error, [&] { store.save(ListId::Descriptions, m_new.descriptions); });
    if (message.contains(QLatin1String("%1")))
        message = message.arg(QString::fromStdString(target.path));
    QCOMPARE(QString::fromStdString(thrown), message);
    QVERIFY(testutil::readFile(target.path) == target.before);
    QCOMPARE(unexpectedFiles(save), std::string());

    store.save(ListId::Descriptions, m_new.descriptions);
    QVERIFY(testutil::readFile(target.path) == target.after);
}

void TestFaultInjection::withoutRights_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("mode");

    QTest::newRow("read-only database directory") << "database"
                                                  << "descriptions.dat" << 0555;
    QTest::newRow("read-only config directory") << "config"
                                                << "config.ini" << 0555;
    QTest::newRow("read-only backup directory") << "copies"
                                                << "x.bak" << 0555;
    QTest::newRow("read-only data file") << "database"
                                         << "mails.dat" << 0444;
    QTest::newRow("unreadable data file") << "database"
                                          << "descriptions.dat" << 0200;
}

// As a normal user, which root is not: a directory or file without rights refuses the operation
// with the usual message, and nothing on disk or in memory is lost.
void TestFaultInjection::withoutRights()
{
    QFETCH(QString, directory);
    QFETCH(QString, file);
    QFETCH(int, mode);

    ScratchDir dir;
    prepare(dir);
    testutil::makeDir(dir.path("copies"));
    testutil::writeFile(dir.path("copies/x.bak"), "an older backup\r\n");
    const std::string root = dir.path();
    const std::string path = root + directory.toStdString() + '/' + file.toStdString();
    const bool onDirectory = mode == 0555;
    const std::string before = testutil::readFile(path);

    const passwd *nobody = ::getpwnam("nobody");
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) {
        if (nobody == nullptr)
            QSKIP("no user 'nobody' to run as");
        QVERIFY(::chmod(root.c_str(), 0755) == 0);
        for (const char *entry : {"", "database", "database/descriptions.dat", "database/mails.dat", "config",
                 "config/config.ini", "copies", "copies/x.bak"})
            QVERIFY(::chown((root + entry).c_str(), nobody->pw_uid, nobody->pw_gid) == 0);
    }
    QVERIFY(::chmod((onDirectory ? root + directory.toStdString() : path).c_str(), static_cast<mode_t>(mode)) == 0);

    const ChildResult result = inChild([&] {
        if (asRoot) {
            expect(::setgroups(0, nullptr) == 0 && ::setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) == 0
                    && ::setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) == 0,
                "cannot become nobody");
            if (::access(root.c_str(), W_OK | X_OK) != 0)
                throw Failure("skip");
        }
        AddressStore store(root);
        std::string error;
        const auto attempt = [&error](const std::function<void()> &operation) {
            try {
                operation();
            } catch (const Error &e) {
                error = e.what();
            }
        };
        if (file == QLatin1String("config.ini")) {
            ScratchBuffer memo;
            writeSettings(memo, {"Arial", 8, 100, 640, 480});
            attempt([&] { memo.saveToFile(path); });
        } else if (file == QLatin1String("x.bak")) {
            ScratchBuffer memo;
            memo.loadFromFile(store.dataPath(ListId::Mails));
            attempt([&] { memo.saveToFile(path); });
        } else if (mode == 0200) {
            LineList list;
            list.append("kept");
            attempt([&] { store.load(ListId::Descriptions, list); });
            expect(error == "Cannot open file \"" + path + "\". Permission denied", "load: '" + error + "'");
            expect(text(list) == "kept\r\n", "the list changed on a failed load");
            // An entry added after the failed start-up is saved; the unread file is kept aside.
            list.append("added");
            store.save(ListId::Descriptions, list);
            return;
        } else {
            const ListId id = file == QLatin1String("mails.dat") ? ListId::Mails : ListId::Descriptions;
            LineList list;
            store.load(id, list);
            list.append("added");
            attempt([&] { store.save(id, list); });
            expect(text(list) == before + "added\r\n", "the list changed on a failed save");
        }
        expect(error == "Cannot create file \"" + path + "\". Permission denied", "save: '" + error + "'");
    });
    if (result.exitedWith(kSkipped))
        QSKIP("the test directory is out of reach of an unprivileged user");
    QVERIFY2(result.exitedWith(0), result.message.c_str());

    if (mode == 0200) {
        QCOMPARE(testutil::readFile(path), std::string("kept\r\nadded\r\n"));
        const QStringList names = testutil::entries(root + "database");
        QCOMPARE(names.size(), 3);
        QVERIFY(names[1].startsWith(QLatin1String("descriptions.dat.unloaded-")));
        QVERIFY(testutil::readFile(root + "database/" + names[1].toStdString()) == before);
    } else {
        QVERIFY(testutil::readFile(path) == before);
        QCOMPARE(
            testutil::entries(root + directory.toStdString()).size(), directory == QLatin1String("database") ? 2 : 1);
    }
}

// How a pair is written: at close (descriptions first), after an Add or Edit (mails first), by a
// restore of both files or of one.
enum class PairSave { Close, Add, RestoreBoth, RestoreMails };

void runPairSave(AddressStore &store, PairSave how, const BookLists &book)
{
    const std::string descriptions = text(book.descriptions);
    const std::string mails = text(book.mails);
    switch (how) {
    case PairSave::Close:
        store.savePair(book.descriptions, book.mails);
        break;
    case PairSave::Add:
        store.savePair(book.descriptions, book.mails, ListId::Mails);
        break;
    case PairSave::RestoreBoth:
        store.replacePair(descriptions, mails);
        break;
    case PairSave::RestoreMails:
        store.replacePair(std::nullopt, mails);
        break;
    }
}

void TestFaultInjection::crashWhileSavingPair_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<int>("steps");
    // Each file's write and flush, the record's write, flush and rename, the folder's flush,
    // both renames, the folder's flush, the record's removal.
    QTest::newRow("close") << int(PairSave::Close) << 12;
    QTest::newRow("add or edit") << int(PairSave::Add) << 12;
    QTest::newRow("restore of both files") << int(PairSave::RestoreBoth) << 12;
    // One file needs no record: write, flush, rename, flush the folder.
    QTest::newRow("restore of the mails only") << int(PairSave::RestoreMails) << 4;
}

// The process killed at every step of a pair save; each time, the next start (a new store) reads
// the old pair or the new one, never one file of each, and nothing else is left in the folder.
void TestFaultInjection::crashWhileSavingPair()
{
    QFETCH(int, how);
    QFETCH(int, steps);

    ScratchDir dir;
    prepare(dir);
    const std::string root = dir.path();
    const std::string oldPair[] = {text(m_old.descriptions), text(m_old.mails)};
    const std::string newPair[]
        = {how == int(PairSave::RestoreMails) ? oldPair[0] : text(m_new.descriptions), text(m_new.mails)};
    int kills = 0;
    int oldPairs = 0;
    int newPairs = 0;
    for (g_killAt = 1;; ++g_killAt) {
        QVERIFY2(g_killAt <= steps + 1, "the save takes more steps than expected");
        testutil::writeFile(dir.path("database/descriptions.dat"), oldPair[0]);
        testutil::writeFile(dir.path("database/mails.dat"), oldPair[1]);
        const ChildResult result = inChild([&] {
            AddressStore store(root);
            testutil::loadBook(store);
            g_steps = 0;
            sys::setStepHook(killAtStep);
            runPairSave(store, static_cast<PairSave>(how), m_new);
        });
        if (result.exitedWith(0))
            break;
        QVERIFY2(result.killed(), result.message.c_str());
        ++kills;

        AddressStore next(root);
        const BookLists book = testutil::loadBook(next);
        const std::string where = " after a kill at step " + std::to_string(g_killAt);
        if (how != int(PairSave::RestoreMails))
            QCOMPARE(book.descriptions.size(), book.mails.size());
        const std::string found[] = {text(book.descriptions), text(book.mails)};
        if (found[0] == oldPair[0] && found[1] == oldPair[1])
            ++oldPairs;
        else if (found[0] == newPair[0] && found[1] == newPair[1])
            ++newPairs;
        else
            QFAIL(("the files are out of step" + where).c_str());
        const std::string stray = strayNames(dir.path("database"), {"descriptions.dat", "mails.dat"});
        QVERIFY2(stray.empty(), ("left behind" + where + ": " + stray).c_str());
    }
    QCOMPARE(kills, steps);
    QVERIFY2(oldPairs > 0 && newPairs > 0, "the commit point is never reached or always passed");
    qInfo("pair save: %d steps, killed at each, %d of %d pairs in step (%d old, %d new)", steps, oldPairs + newPairs,
        kills, oldPairs, newPairs);
}

void TestFaultInjection::pairFailsBetweenFiles_data()
{
    QTest::addColumn<int>("how");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("nth");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("failing"); // the file named in the message, or "" for a write error
    QTest::addColumn<bool>("replaced"); // a failure after the commit point: the next start completes it

    const int close = int(PairSave::Close);
    const int add = int(PairSave::Add);
    const int write = int(sys::Step::Write);
    const int sync = int(sys::Step::Sync);
    const int rename = int(sys::Step::Rename);
    QTest::newRow("disk full writing the second file") << close << write << 2 << ENOSPC << "" << false;
    QTest::newRow("disk full writing the second file of an add") << add << write << 2 << ENOSPC << "" << false;
    QTest::newRow("I/O error flushing the second file") << close << sync << 2 << EIO << "" << false;
    QTest::newRow("disk full writing the record") << close << write << 3 << ENOSPC << "" << false;
    QTest::newRow("record cannot be renamed") << close << rename << 1 << EACCES << "descriptions.dat" << false;
    QTest::newRow("first file cannot be renamed") << close << rename << 2 << EACCES << "descriptions.dat" << false;
    QTest::newRow("first file of an add cannot be renamed") << add << rename << 2 << EACCES << "mails.dat" << false;
    QTest::newRow("second file cannot be renamed") << close << rename << 3 << EACCES << "mails.dat" << true;
}

// A pair save that fails part way: the message names the file that failed, and both files stay
// old; once the commit point is passed, the next start completes the save instead. Either way
// the files are in step and nothing is left behind.
void TestFaultInjection::pairFailsBetweenFiles()
{
    QFETCH(int, how);
    QFETCH(int, step);
    QFETCH(int, nth);
    QFETCH(int, error);
    QFETCH(QString, failing);
    QFETCH(bool, replaced);

    ScratchDir dir;
    prepare(dir);
    const std::string root = dir.path();
    AddressStore store(root);
    testutil::loadBook(store);
    const std::string thrown = messageWhenFailing(
        static_cast<sys::Step>(step), nth, error, [&] { runPairSave(store, static_cast<PairSave>(how), m_new); });
    const std::string expected = failing.isEmpty()
        ? std::string("Stream write error")
        : "Cannot create file \"" + dir.path("database/") + failing.toStdString() + "\". " + sys::errorText(error);
    QCOMPARE(thrown, expected);
    if (!replaced) {
        QVERIFY(testutil::readFile(dir.path("database/descriptions.dat")) == text(m_old.descriptions));
        QVERIFY(testutil::readFile(dir.path("database/mails.dat")) == text(m_old.mails));
        QCOMPARE(strayNames(dir.path("database"), {"descriptions.dat", "mails.dat"}), std::string());
    }

    AddressStore next(root);
    const BookLists book = testutil::loadBook(next);
    const BookLists &expectedBook = replaced ? m_new : m_old;
    QVERIFY(text(book.descriptions) == text(expectedBook.descriptions));
    QVERIFY(text(book.mails) == text(expectedBook.mails));
    QCOMPARE(strayNames(dir.path("database"), {"descriptions.dat", "mails.dat"}), std::string());

    // The fault is gone: the same save goes through.
    runPairSave(store, static_cast<PairSave>(how), m_new);
    QVERIFY(testutil::readFile(dir.path("database/mails.dat")) == text(m_new.mails));
}

// A real file size limit that the first file fits and the second does not. The program does not
// ignore SIGXFSZ itself here: the data layer must, or the child dies of it.
void TestFaultInjection::fileSizeLimitBetweenFiles()
{
    ScratchDir dir;
    prepare(dir);
    const std::string root = dir.path();
    // The smaller file first, as the save that writes it first would.
    const bool mailsFirst = text(m_new.mails).size() < text(m_new.descriptions).size();
    const std::string first = text(mailsFirst ? m_new.mails : m_new.descriptions);
    const std::string second = text(mailsFirst ? m_new.descriptions : m_new.mails);
    QVERIFY(first.size() < second.size());
    const ChildResult result = inChild([&] {
        AddressStore store(root);
        testutil::loadBook(store);
        rlimit fileSize{};
        ::getrlimit(RLIMIT_FSIZE, &fileSize);
        fileSize.rlim_cur = first.size() + 1;
        expect(::setrlimit(RLIMIT_FSIZE, &fileSize) == 0, "setrlimit");
        std::string error;
        try {
            store.savePair(m_new.descriptions, m_new.mails, mailsFirst ? ListId::Mails : ListId::Descriptions);
        } catch (const Error &e) {
            error = e.what();
        }
        expect(error == "Stream write error", "unexpected outcome: '" + error + "'");
    });
    QVERIFY2(result.exitedWith(0), (result.message + " status " + std::to_string(result.status)).c_str());
    QVERIFY(testutil::readFile(dir.path("database/descriptions.dat")) == text(m_old.descriptions));
    QVERIFY(testutil::readFile(dir.path("database/mails.dat")) == text(m_old.mails));
    QCOMPARE(strayNames(dir.path("database"), {"descriptions.dat", "mails.dat"}), std::string());
}

void TestFaultInjection::flushesBeforeRenames_data()
{
    using S = sys::Step;
    QTest::addColumn<int>("how"); // -1: one data file
    QTest::addColumn<QList<int>>("steps");
    QTest::newRow("one data file") << -1 << QList<int>{int(S::Write), int(S::Sync), int(S::Rename), int(S::Sync)};
    const QList<int> pair = {int(S::Write), int(S::Sync), int(S::Write), int(S::Sync), int(S::Write), int(S::Sync),
        int(S::Rename), int(S::Sync), int(S::Rename), int(S::Rename), int(S::Sync), int(S::Remove)};
    QTest::newRow("pair") << int(PairSave::Close) << pair;
    QTest::newRow("restore of a pair") << int(PairSave::RestoreBoth) << pair;
}

// Every file is flushed to disk before its rename, and the folder after the renames: the steps
// come in that order, and each flush step is followed by a real flush (the system layer's count).
void TestFaultInjection::flushesBeforeRenames()
{
    QFETCH(int, how);
    QFETCH(QList<int>, steps);

    ScratchDir dir;
    prepare(dir);
    AddressStore store(dir.path());
    testutil::loadBook(store);
    g_seen.clear();
    sys::setStepHook(recordStep);
    const int before = sys::syncCount();
    if (how < 0)
        store.save(ListId::Mails, m_new.mails);
    else
        runPairSave(store, static_cast<PairSave>(how), m_new);
    const int after = sys::syncCount();
    sys::setStepHook(nullptr);

    QList<int> seen;
    for (const auto &[step, count] : g_seen)
        seen << int(step);
    QCOMPARE(seen, steps);
    for (std::size_t i = 0; i < g_seen.size(); ++i) {
        if (g_seen[i].first != sys::Step::Sync)
            continue;
        const int next = i + 1 < g_seen.size() ? g_seen[i + 1].second : after;
        QVERIFY2(next == g_seen[i].second + 1, qPrintable(QString("flush step %1 flushed nothing").arg(i)));
    }
    QCOMPARE(after - before, int(std::count(steps.begin(), steps.end(), int(sys::Step::Sync))));
}

QTEST_APPLESS_MAIN(TestFaultInjection)
#include "test_fault_injection.moc"
