// What the program does for the book as it ends: the save, the recovery copy of what cannot be
// saved, and the notices of files kept aside, checked on real files without a window.

#include "data_test_util.h"

#include "book/book_folder.h"
#include "book/book_keeper.h"

#include <QTest>

#include <sys/stat.h>

using namespace kvillo;
using testutil::ScratchDir;

namespace {

constexpr std::string_view kProgram = "Kvillo test";

// A book of two entries, loaded, with its user's data folder ($XDG_DATA_HOME) beside it.
struct KeptBook
{
    explicit KeptBook(std::string_view mails = "a@x\r\nb@x\r\n")
    {
        testutil::makeDir(dir.path("book"));
        testutil::makeDir(dir.path("book/database"));
        testutil::makeDir(dir.path("book/config"));
        testutil::makeDir(dir.path("data"));
        testutil::writeFile(dir.path("book/database/descriptions.dat"), "a\r\nb\r\n");
        testutil::writeFile(dir.path("book/database/mails.dat"), mails);
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dir.path("data")));
        keeper.emplace(dir.path("book/"), std::string(kProgram));
        keeper->book().load();
    }
    ~KeptBook() { qunsetenv("XDG_DATA_HOME"); }

    // The recovery copies made, in the user's data folder.
    QStringList copies() const { return testutil::entries(dir.path("data/") + std::string(kProgram)); }

    ScratchDir dir;
    std::optional<BookKeeper> keeper;
};

int modeOf(const std::string &path)
{
    struct stat info
    { };
    return ::stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

} // namespace

class TestBookKeeper : public QObject
{
    Q_OBJECT

private slots:
    void recoveryCopiesGoWhereTheBuildKeepsItsData_data();
    void recoveryCopiesGoWhereTheBuildKeepsItsData();
    void terminationSavesOrKeepsACopy_data();
    void terminationSavesOrKeepsACopy();
    void aFileKeptAsideIsToldOnce();
};

void TestBookKeeper::recoveryCopiesGoWhereTheBuildKeepsItsData_data()
{
    QTest::addColumn<bool>("insideBook");
    QTest::addColumn<QString>("xdgDataHome");
    QTest::addColumn<QString>("expected");
    QTest::newRow("beside the executable") << false << "/data/"
                                           << "/data/Kvillo test/";
    QTest::newRow("beside the executable, no data home") << false << ""
                                                         << "/home/u/.local/share/Kvillo test/";
    QTest::newRow("beside the executable, a relative data home") << false << "data"
                                                                 << "/home/u/.local/share/Kvillo test/";
    QTest::newRow("installed: in the book's own folder") << true << "/data"
                                                         << "/data/kvillo/";
}

void TestBookKeeper::recoveryCopiesGoWhereTheBuildKeepsItsData()
{
    QFETCH(bool, insideBook);
    QFETCH(QString, xdgDataHome);
    QFETCH(QString, expected);
    QCOMPARE(QString::fromStdString(
                 recoveryParent(insideBook, "/data/kvillo/", kProgram, xdgDataHome.toStdString(), "/home/u")),
        expected);
}

// A save at termination that succeeds, one that fails and leaves a copy, and one where not even
// the copy can be written (the data folder lies under a file). Each line reported is checked.
void TestBookKeeper::terminationSavesOrKeepsACopy_data()
{
    QTest::addColumn<bool>("bookWritable");
    QTest::addColumn<bool>("dataWritable");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QStringList>("reported"); // each line's start
    QTest::newRow("saved") << true << true << true << QStringList{};
    QTest::newRow("a recovery copy") << false << true << true
                                     << QStringList{"Cannot create file", "the entries were written to "};
    QTest::newRow("nothing kept") << false << false << false << QStringList{"Cannot create file", "Cannot create file"};
}

void TestBookKeeper::terminationSavesOrKeepsACopy()
{
    QFETCH(bool, bookWritable);
    QFETCH(bool, dataWritable);
    QFETCH(bool, kept);
    QFETCH(QStringList, reported);
    KeptBook book;
    book.keeper->book().remove(ListId::Descriptions, 0);
    book.keeper->book().remove(ListId::Mails, 0);
    if (!bookWritable)
        QVERIFY(QDir(QString::fromStdString(book.dir.path("book/database"))).removeRecursively());
    if (!dataWritable) {
        testutil::writeFile(book.dir.path("blocker"), "");
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(book.dir.path("blocker")));
    }
    QStringList lines;
    QCOMPARE(
        book.keeper->saveForTermination([&](const std::string &line) { lines << QString::fromStdString(line); }), kept);
    QCOMPARE(lines.size(), reported.size());
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(lines[i].startsWith(reported[i]), qPrintable(lines[i]));
    if (bookWritable) {
        QCOMPARE(testutil::readFile(book.dir.path("book/database/mails.dat")), std::string("b@x\r\n"));
        QVERIFY(book.copies().isEmpty());
        return;
    }
    if (!kept)
        return;
    // The copy holds every entry, private to its user, in the folder the report names.
    const QStringList copies = book.copies();
    QCOMPARE(copies.size(), 1);
    QVERIFY(copies[0].startsWith("recovery-"));
    const std::string folder = book.dir.path("data/") + std::string(kProgram) + "/" + copies[0].toStdString();
    QCOMPARE(lines[1], QString::fromStdString("the entries were written to " + folder));
    QCOMPARE(testutil::readFile(folder + "/descriptions.dat"), std::string("b\r\n"));
    QCOMPARE(testutil::readFile(folder + "/mails.dat"), std::string("b@x\r\n"));
    QCOMPARE(modeOf(folder), 0700);
    QCOMPARE(modeOf(folder + "/mails.dat"), 0600);
    // A second copy in the same second gets a folder of its own.
    const std::string next = book.keeper->newRecoveryFolder();
    QVERIFY(next != folder);
    book.keeper->writeRecoveryCopy(next);
    QCOMPARE(book.copies().size(), 2);
}

// A data file cut at a NUL byte is kept aside by the first save over it; the user is told so
// once, naming both files.
void TestBookKeeper::aFileKeptAsideIsToldOnce()
{
    KeptBook book(std::string_view("a@x\r\nb@\0x\r\n", 11));
    QVERIFY(book.keeper->takeNotices().empty());
    book.keeper->saveAtClose();
    const std::vector<std::string> notices = book.keeper->takeNotices();
    QCOMPARE(notices.size(), std::size_t(1));
    const QStringList kept
        = testutil::entries(book.dir.path("book/database")).filter(QStringLiteral("mails.dat.unloaded-"));
    QCOMPARE(kept.size(), 1);
    const std::string mails = book.dir.path("book/database/mails.dat");
    QCOMPARE(notices[0],
        "Файл «" + mails
            + "» был прочитан не полностью (в нём есть нулевой байт) или не прочитан вовсе. Его прежнее "
              "содержимое сохранено в «"
            + book.dir.path("book/database/") + kept[0].toStdString() + "».");
    book.keeper->saveAtClose();
    QVERIFY(book.keeper->takeNotices().empty());
}

QTEST_APPLESS_MAIN(TestBookKeeper)
#include "test_book_keeper.moc"
