// The address book as a document, without any window: load, change, save, back up and restore,
// with the files on disk checked byte for byte and faults induced through the system layer.

#include "data_test_util.h"

#include "data/address_book.h"
#include "data/errors.h"
#include "data/system.h"

#include <QTest>

#include <cerrno>

using namespace kvillo;
using testutil::ScratchDir;

namespace {

// A program directory with both data files.
void writeBook(const ScratchDir &dir, std::string_view descriptions, std::string_view mails)
{
    testutil::makeDir(dir.path("database"));
    testutil::makeDir(dir.path("config"));
    testutil::writeFile(dir.path("database/descriptions.dat"), descriptions);
    testutil::writeFile(dir.path("database/mails.dat"), mails);
}

std::string descriptionsFile(const ScratchDir &dir)
{
    return testutil::readFile(dir.path("database/descriptions.dat"));
}
std::string mailsFile(const ScratchDir &dir)
{
    return testutil::readFile(dir.path("database/mails.dat"));
}

// A book of one entry, "old" / "old@x", loaded, with two backups beside it: d.bak holds "D" (its
// line breaks of all kinds), m.bak holds "m@x".
struct RestoreSetup
{
    RestoreSetup()
    {
        writeBook(dir, "old\r\n", "old@x\r\n");
        testutil::writeFile(dir.path("d.bak"), "D\rD2\n\nD3");
        testutil::writeFile(dir.path("m.bak"), "m@x\r\n");
        book.load();
    }
    void expectOldFiles() const
    {
        QCOMPARE(descriptionsFile(dir), std::string("old\r\n"));
        QCOMPARE(mailsFile(dir), std::string("old@x\r\n"));
    }
    static constexpr std::string_view kRestoredDescriptions = "D\r\nD2\r\n\r\nD3";

    ScratchDir dir;
    AddressBook book{dir.path()};
};

} // namespace

class TestAddressBook : public QObject
{
    Q_OBJECT

private slots:
    void changesStayInMemoryUntilSaved();
    void rowsOutsideAListAreRefused();
    void aFileThatDidNotLoadIsKeptAside();
    void backUpCopiesTheDataFile();
    void restoreReplacesTheChosenFiles_data();
    void restoreReplacesTheChosenFiles();
    void restoreThatCannotReadChangesNothing_data();
    void restoreThatCannotReadChangesNothing();
    void restoreThatCannotWriteChangesNothing_data();
    void restoreThatCannotWriteChangesNothing();
};

void TestAddressBook::changesStayInMemoryUntilSaved()
{
    ScratchDir dir;
    writeBook(dir, "a\r\nb\r\nc\r\n", "1\r\n2\r\n");
    AddressBook book(dir.path());
    book.load();
    QCOMPARE(book.count(ListId::Descriptions), std::size_t(3));
    QCOMPARE(book.count(ListId::Mails), std::size_t(2));

    book.append("d", "4");
    book.replace(ListId::Descriptions, 1, "B");
    book.remove(ListId::Mails, 0);
    book.remove(ListId::Descriptions, 0);
    QCOMPARE(book.text(ListId::Descriptions, 0), std::string_view("B"));
    QCOMPARE(book.text(ListId::Mails, 1), std::string_view("4"));
    QCOMPARE(descriptionsFile(dir), std::string("a\r\nb\r\nc\r\n"));

    book.save(AddressBook::Order::MailsFirst);
    QCOMPARE(descriptionsFile(dir), std::string("B\r\nc\r\nd\r\n"));
    QCOMPARE(mailsFile(dir), std::string("2\r\n4\r\n"));

    // A second document on the same files sees what was saved.
    AddressBook again(dir.path());
    again.load();
    QCOMPARE(again.lists().descriptions.toText(), std::string("B\r\nc\r\nd\r\n"));
}

void TestAddressBook::rowsOutsideAListAreRefused()
{
    ScratchDir dir;
    writeBook(dir, "a\r\nb\r\n", "1\r\n");
    AddressBook book(dir.path());
    book.load();
    QVERIFY_THROWS_EXCEPTION(ListIndexError, book.text(ListId::Mails, 1));
    QVERIFY_THROWS_EXCEPTION(ListIndexError, book.replace(ListId::Descriptions, 2, "x"));
    QVERIFY_THROWS_EXCEPTION(ListIndexError, book.remove(ListId::Descriptions, -1));
    try {
        book.text(ListId::Descriptions, -1);
        QFAIL("no error");
    } catch (const std::exception &e) {
        QCOMPARE(std::string(e.what()), std::string("List index out of bounds (-1)"));
    }
    QCOMPARE(book.lists().descriptions.toText(), std::string("a\r\nb\r\n"));
}

// The mails cannot be read (a directory stands in the file's place): the descriptions are not
// read either, and the first save keeps both files' old contents aside.
void TestAddressBook::aFileThatDidNotLoadIsKeptAside()
{
    ScratchDir dir;
    writeBook(dir, "old\r\n", "");
    QVERIFY(::remove(dir.path("database/mails.dat").c_str()) == 0);
    testutil::makeDir(dir.path("database/mails.dat"));
    AddressBook book(dir.path());
    QVERIFY_THROWS_EXCEPTION(FileOpenError, book.load());
    QCOMPARE(book.count(ListId::Descriptions), std::size_t(0));

    book.append("new", "new@x");
    book.save(AddressBook::Order::DescriptionsFirst);
    QCOMPARE(descriptionsFile(dir), std::string("new\r\n"));
    QCOMPARE(mailsFile(dir), std::string("new@x\r\n"));
    const QStringList names = testutil::entries(dir.path("database"));
    QCOMPARE(names.size(), 4);
    QVERIFY(names.filter("descriptions.dat.unloaded-").size() == 1);
    QVERIFY(names.filter("mails.dat.unloaded-").size() == 1);
}

void TestAddressBook::backUpCopiesTheDataFile()
{
    ScratchDir dir;
    writeBook(dir, "a\r\n", "m1\r\nm2\r\n");
    AddressBook book(dir.path());
    book.backUp(ListId::Mails, dir.path("copy.bak"));
    QCOMPARE(testutil::readFile(dir.path("copy.bak")), std::string("m1\r\nm2\r\n"));
    QVERIFY_THROWS_EXCEPTION(FileCreateError, book.backUp(ListId::Mails, dir.path("missing/copy.bak")));
}

void TestAddressBook::restoreReplacesTheChosenFiles_data()
{
    QTest::addColumn<bool>("descriptions");
    QTest::addColumn<bool>("mails");
    QTest::newRow("both") << true << true;
    QTest::newRow("descriptions only") << true << false;
    QTest::newRow("mails only") << false << true;
    QTest::newRow("none") << false << false;
}

void TestAddressBook::restoreReplacesTheChosenFiles()
{
    QFETCH(bool, descriptions);
    QFETCH(bool, mails);
    RestoreSetup setup;
    const auto backup
        = [&](bool chosen, const char *name) { return chosen ? std::optional(setup.dir.path(name)) : std::nullopt; };
    setup.book.restoreFrom(backup(descriptions, "d.bak"), backup(mails, "m.bak"));
    QCOMPARE(descriptionsFile(setup.dir), std::string(descriptions ? RestoreSetup::kRestoredDescriptions : "old\r\n"));
    QCOMPARE(mailsFile(setup.dir), std::string(mails ? "m@x\r\n" : "old@x\r\n"));
    // The lists show the files once loaded again.
    QCOMPARE(setup.book.count(ListId::Descriptions), std::size_t(1));
    setup.book.load();
    QCOMPARE(setup.book.count(ListId::Descriptions), std::size_t(descriptions ? 4 : 1));
}

void TestAddressBook::restoreThatCannotReadChangesNothing_data()
{
    QTest::addColumn<QString>("descriptionsBackup");
    QTest::addColumn<QString>("mailsBackup");
    const char *const rows[][3] = {{"the descriptions' backup missing", "none.bak", "m.bak"},
        {"the mails' backup missing", "d.bak", "none.bak"}, {"the mails' backup a folder", "d.bak", "folder"}};
    for (const auto &row : rows)
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
}

void TestAddressBook::restoreThatCannotReadChangesNothing()
{
    QFETCH(QString, descriptionsBackup);
    QFETCH(QString, mailsBackup);
    RestoreSetup setup;
    testutil::makeDir(setup.dir.path("folder"));
    QVERIFY_THROWS_EXCEPTION(FileOpenError,
        setup.book.restoreFrom(
            setup.dir.path(descriptionsBackup.toStdString()), setup.dir.path(mailsBackup.toStdString())));
    setup.expectOldFiles();
}

// The descriptions are written first. When either write fails (the first, or the second after
// the descriptions were replaced), both data files are as they were.
void TestAddressBook::restoreThatCannotWriteChangesNothing_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("nth");
    QTest::addColumn<QString>("message");
    QTest::newRow("descriptions: write") << int(sys::Step::Write) << 1 << "Stream write error";
    QTest::newRow("mails: write") << int(sys::Step::Write) << 2 << "Stream write error";
    // Each file is flushed, renamed, and its directory flushed: the mails' flush is the third.
    QTest::newRow("mails: flush") << int(sys::Step::Sync) << 3 << "Stream write error";
    QTest::newRow("mails: rename") << int(sys::Step::Rename) << 2 << "Cannot create file";
}

void TestAddressBook::restoreThatCannotWriteChangesNothing()
{
    QFETCH(int, step);
    QFETCH(int, nth);
    QFETCH(QString, message);
    RestoreSetup setup;
    std::string thrown;
    {
        const testutil::FailingStep failing(static_cast<sys::Step>(step), nth, ENOSPC);
        try {
            setup.book.restoreFrom(setup.dir.path("d.bak"), setup.dir.path("m.bak"));
        } catch (const Error &e) {
            thrown = e.what();
        }
    }
    QVERIFY2(QString::fromStdString(thrown).startsWith(message), thrown.c_str());
    setup.expectOldFiles();
    // No temporary file is left, and once the fault is gone the same restore succeeds.
    QCOMPARE(testutil::entries(setup.dir.path("database")), (QStringList{"descriptions.dat", "mails.dat"}));
    setup.book.restoreFrom(setup.dir.path("d.bak"), setup.dir.path("m.bak"));
    QCOMPARE(descriptionsFile(setup.dir), std::string(RestoreSetup::kRestoredDescriptions));
    QCOMPARE(mailsFile(setup.dir), std::string("m@x\r\n"));
}

QTEST_APPLESS_MAIN(TestAddressBook)
#include "test_address_book.moc"
