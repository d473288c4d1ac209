// The address book as a document, without any window: load, change, save, back up and restore,
// with the files on disk checked byte for byte and faults induced through the system layer.

#include "data_test_util.h"

#include "book/address_book.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <QScopeGuard>
#include <QTest>

#include <cerrno>
#include <optional>

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

// Views registered with the book for as long as they live. They record what they were told, with
// the list's length before and after each change (a list read anew has no row), into their own log
// or one shared with other views, each line after the views' tag.
class RecordingViews : public ListViews
{
public:
    explicit RecordingViews(AddressBook &book, QStringList *shared = nullptr, QString tag = {})
        : log(shared ? *shared : m_own)
        , m_book(book)
        , m_tag(std::move(tag))
    {
        book.addViews(*this);
    }
    ~RecordingViews() override { m_book.removeViews(*this); }

    QStringList &log;

    void inserting(ListId id, long long row, const Change &change) override { record("insert", id, row, change); }
    void removing(ListId id, long long row, const Change &change) override { record("remove", id, row, change); }
    void replacing(ListId id, long long row, const Change &change) override { record("replace", id, row, change); }
    void resetting(ListId id, const Change &change) override { record("reset", id, -1, change); }

private:
    void record(const char *what, ListId id, long long row, const Change &change)
    {
        const std::size_t before = m_book.count(id);
        // What the change throws goes on: the line tells it ended all the same.
        const auto logged = qScopeGuard([&] {
            log << m_tag
                    + QStringLiteral("%1 %2%3: %4 -> %5")
                          .arg(what, id == ListId::Mails ? "m" : "d",
                              row < 0 ? QString() : QStringLiteral(" %1").arg(row))
                          .arg(before)
                          .arg(m_book.count(id));
        });
        change();
    }
    QStringList m_own;
    AddressBook &m_book;
    QString m_tag;
};

// The book of five entries "a" .. "e" / "1" .. "5", loaded.
struct FiveEntries
{
    FiveEntries()
    {
        writeBook(dir, kDescriptions, kMails);
        book.load();
    }
    void expectFilesAsWritten() const
    {
        QCOMPARE(descriptionsFile(dir), std::string(kDescriptions));
        QCOMPARE(mailsFile(dir), std::string(kMails));
    }
    static constexpr std::string_view kDescriptions = "a\r\nb\r\nc\r\nd\r\ne\r\n";
    static constexpr std::string_view kMails = "1\r\n2\r\n3\r\n4\r\n5\r\n";

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
    void rowHandlesFollowTheirEntries_data();
    void rowHandlesFollowTheirEntries();
    void editedEntryIsReplacedWhereverItMoved();
    void editOfARemovedEntryChangesNothing();
    void importLeavesOutWhatTheBookHas_data();
    void importLeavesOutWhatTheBookHas();
    void failedChangeAndSaveLeavesTheListsAsTheyWere_data();
    void failedChangeAndSaveLeavesTheListsAsTheyWere();
    void viewsAreToldOfEveryChange_data();
    void viewsAreToldOfEveryChange();
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
    // The lists follow the files at once, as a load would read them.
    QCOMPARE(setup.book.count(ListId::Descriptions), std::size_t(descriptions ? 4 : 1));
    QCOMPARE(setup.book.text(ListId::Mails, 0), std::string_view(mails ? "m@x" : "old@x"));
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

// The descriptions are written first. When either write fails, or the commit record cannot be
// put in place, both data files are as they were.
void TestAddressBook::restoreThatCannotWriteChangesNothing_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("nth");
    QTest::addColumn<QString>("message");
    QTest::newRow("descriptions: write") << int(sys::Step::Write) << 1 << "Stream write error";
    QTest::newRow("mails: write") << int(sys::Step::Write) << 2 << "Stream write error";
    // Each file is flushed, renamed, and its directory flushed: the mails' flush is the third.
    QTest::newRow("mails: flush") << int(sys::Step::Sync) << 3 << "Stream write error";
    QTest::newRow("record: rename") << int(sys::Step::Rename) << 1 << "Cannot create file";
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

// A handle on row 2 ("c") of the descriptions and one on row 2 of the mails, then one change.
void TestAddressBook::rowHandlesFollowTheirEntries_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("descriptionRow"); // -1: the entry is gone
    QTest::addColumn<int>("mailRow");
    QTest::newRow("remove above") << "remove d0" << 1 << 2;
    QTest::newRow("remove above in both") << "remove d1, remove m0" << 1 << 1;
    QTest::newRow("remove below") << "remove d3" << 2 << 2;
    QTest::newRow("remove the entry") << "remove d2" << -1 << 2;
    QTest::newRow("remove above, then the entry") << "remove d0, remove d1" << -1 << 2;
    QTest::newRow("remove below, last row") << "remove m4" << 2 << 2;
    QTest::newRow("append") << "append" << 2 << 2;
    QTest::newRow("replace the entry") << "replace d2" << 2 << 2;
    QTest::newRow("load the descriptions again") << "load d" << -1 << 2;
    QTest::newRow("load both again") << "load" << -1 << -1;
    QTest::newRow("restore") << "restore" << -1 << -1;
    QTest::newRow("a restore that fails") << "failed restore" << 2 << 2;
}

void TestAddressBook::rowHandlesFollowTheirEntries()
{
    QFETCH(QString, change);
    QFETCH(int, descriptionRow);
    QFETCH(int, mailRow);
    FiveEntries setup;
    AddressBook &book = setup.book;
    testutil::writeFile(setup.dir.path("d.bak"), "x\r\n");
    const RowHandle description = book.track(ListId::Descriptions, 2);
    const RowHandle mail = book.track(ListId::Mails, 2);
    // A copy follows the same entry.
    const RowHandle copy = description;

    for (const QString &step : change.split(QStringLiteral(", "))) {
        const ListId id = step.contains(QLatin1String(" d")) ? ListId::Descriptions : ListId::Mails;
        if (step.startsWith(QLatin1String("remove")))
            book.remove(id, step.back().digitValue());
        else if (step == QLatin1String("append"))
            book.append("f", "6");
        else if (step.startsWith(QLatin1String("replace")))
            book.replace(id, step.back().digitValue(), "C");
        else if (step == QLatin1String("load d"))
            book.load(ListId::Descriptions);
        else if (step == QLatin1String("load"))
            book.load();
        else if (step == QLatin1String("restore"))
            book.restoreFrom(setup.dir.path("d.bak"), std::nullopt);
        else if (step == QLatin1String("failed restore"))
            QVERIFY_THROWS_EXCEPTION(FileOpenError, book.restoreFrom(setup.dir.path("none.bak"), std::nullopt));
    }
    const auto expected = [](int row) { return row < 0 ? std::nullopt : std::optional<long long>(row); };
    QCOMPARE(description.row(), expected(descriptionRow));
    QCOMPARE(copy.row(), expected(descriptionRow));
    QCOMPARE(mail.row(), expected(mailRow));
    // Where the handle still has its row, that row holds the entry it was made on.
    if (descriptionRow >= 0 && !change.startsWith(QLatin1String("replace")))
        QCOMPARE(book.text(ListId::Descriptions, *description.row()), std::string_view("c"));
    if (mailRow >= 0)
        QCOMPARE(book.text(ListId::Mails, *mail.row()), std::string_view("3"));
}

void TestAddressBook::editedEntryIsReplacedWhereverItMoved()
{
    FiveEntries setup;
    AddressBook &book = setup.book;
    QVERIFY(!RowHandle().row());
    QVERIFY_THROWS_EXCEPTION(ListIndexError, book.track(ListId::Mails, 5));
    QVERIFY_THROWS_EXCEPTION(ListIndexError, book.track(ListId::Mails, -1));

    // Opened on "d" / "4"; meanwhile "a" / "1" is deleted and an entry added.
    const EntryRows rows{book.track(ListId::Descriptions, 3), book.track(ListId::Mails, 3)};
    book.remove(ListId::Descriptions, 0);
    book.remove(ListId::Mails, 0);
    book.append("f", "6");
    RecordingViews views(book);
    QVERIFY(book.replaceAndSave(rows, "D", "4@x"));
    QCOMPARE(descriptionsFile(setup.dir), std::string("b\r\nc\r\nD\r\ne\r\nf\r\n"));
    QCOMPARE(mailsFile(setup.dir), std::string("2\r\n3\r\n4@x\r\n5\r\n6\r\n"));
    QCOMPARE(views.log, (QStringList{"replace d 2: 5 -> 5", "replace m 2: 5 -> 5"}));
    // Edited again through the same handles: the same entry.
    QVERIFY(book.replaceAndSave(rows, "DD", "44"));
    QCOMPARE(book.text(ListId::Descriptions, 2), std::string_view("DD"));
    QCOMPARE(book.count(ListId::Descriptions), std::size_t(5));

    // An entry that had no row in the mails (the shorter list) gets its address appended.
    book.remove(ListId::Mails, 4);
    const EntryRows withoutMail{book.track(ListId::Descriptions, 4), std::nullopt};
    views.log.clear();
    QVERIFY(book.replaceAndSave(withoutMail, "F", "6@x"));
    QCOMPARE(views.log, (QStringList{"replace d 4: 5 -> 5", "insert m 4: 4 -> 5"}));
    QCOMPARE(mailsFile(setup.dir), std::string("2\r\n3\r\n44\r\n5\r\n6@x\r\n"));
}

void TestAddressBook::editOfARemovedEntryChangesNothing()
{
    FiveEntries setup;
    AddressBook &book = setup.book;
    // Only the address's row is gone: the entry is not whole any more, and nothing is replaced.
    const EntryRows rows{book.track(ListId::Descriptions, 1), book.track(ListId::Mails, 1)};
    book.remove(ListId::Mails, 1);
    {
        RecordingViews views(book);
        QVERIFY(!book.replaceAndSave(rows, "B", "2@x"));
        QVERIFY(views.log.isEmpty());
    }
    QCOMPARE(book.lists().descriptions.toText(), std::string(FiveEntries::kDescriptions));
    QCOMPARE(book.lists().mails.toText(), std::string("1\r\n3\r\n4\r\n5\r\n"));
    setup.expectFilesAsWritten();

    // A restore replaces every entry: no edit opened before it lands on what came after.
    const EntryRows beforeRestore{book.track(ListId::Descriptions, 0), book.track(ListId::Mails, 0)};
    testutil::writeFile(setup.dir.path("m.bak"), "m@x\r\n");
    book.restoreFrom(std::nullopt, setup.dir.path("m.bak"));
    book.load();
    QVERIFY(!book.replaceAndSave(beforeRestore, "A", "1@x"));
    QCOMPARE(mailsFile(setup.dir), std::string("m@x\r\n"));
}

// The save fails at each write of the pair; the lists are then as before, the files untouched and
// the views told of the change and of its undoing. Once the fault is gone, the same call stores
// the entry once.
void TestAddressBook::failedChangeAndSaveLeavesTheListsAsTheyWere_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("nth");
    for (const char *kind : {"add", "edit", "delete", "delete the last"}) {
        const QString name = QString::fromUtf8(kind);
        QTest::newRow(qPrintable(name + ": mails' write")) << name << int(sys::Step::Write) << 1;
        QTest::newRow(qPrintable(name + ": descriptions' write")) << name << int(sys::Step::Write) << 2;
        QTest::newRow(qPrintable(name + ": rename")) << name << int(sys::Step::Rename) << 1;
    }
}

void TestAddressBook::failedChangeAndSaveLeavesTheListsAsTheyWere()
{
    QFETCH(QString, kind);
    QFETCH(int, step);
    QFETCH(int, nth);
    const bool edit = kind == QLatin1String("edit");
    FiveEntries setup;
    AddressBook &book = setup.book;
    // The mails list is one shorter: an Edit of the last entry appends its address.
    book.remove(ListId::Mails, 4);
    book.save(AddressBook::Order::MailsFirst);
    const std::string descriptions = descriptionsFile(setup.dir);
    const std::string mails = mailsFile(setup.dir);
    BookLists added;
    added.descriptions.append("new");
    added.mails.append("new@x");
    const EntryRows rows{book.track(ListId::Descriptions, 4), std::nullopt};
    const auto change = [&] {
        if (edit)
            QVERIFY(book.replaceAndSave(rows, "E", "5@x"));
        else if (kind == QLatin1String("delete"))
            book.removeAndSave(1);
        else if (kind == QLatin1String("delete the last"))
            book.removeAndSave(4); // a row of the descriptions only
        else
            book.appendAndSave(added);
    };
    const QMap<QString, QStringList> told{
        {"add", {"insert d 5: 5 -> 6", "insert m 4: 4 -> 5", "remove m 4: 5 -> 4", "remove d 5: 6 -> 5"}},
        {"edit", {"replace d 4: 5 -> 5", "insert m 4: 4 -> 5", "remove m 4: 5 -> 4", "replace d 4: 5 -> 5"}},
        {"delete", {"remove d 1: 5 -> 4", "remove m 1: 4 -> 3", "insert m 1: 3 -> 4", "insert d 1: 4 -> 5"}},
        {"delete the last", {"remove d 4: 5 -> 4", "insert d 4: 4 -> 5"}},
    };
    // A handle on an entry below the one deleted still finds it after the undo.
    const RowHandle below = book.track(ListId::Mails, 3);

    RecordingViews views(book);
    {
        const testutil::FailingStep failing(static_cast<sys::Step>(step), nth, ENOSPC);
        QVERIFY_THROWS_EXCEPTION(Error, change());
    }
    QCOMPARE(book.lists().descriptions.toText(), descriptions);
    QCOMPARE(book.lists().mails.toText(), mails);
    QCOMPARE(descriptionsFile(setup.dir), descriptions);
    QCOMPARE(mailsFile(setup.dir), mails);
    QCOMPARE(views.log, told[kind]);
    QCOMPARE(below.row(), std::optional<long long>(3));

    views.log.clear();
    change();
    QCOMPARE(views.log.size(), told[kind].size() / 2);
    const QMap<QString, std::pair<std::string, std::string>> saved{
        {"add", {descriptions + "new\r\n", mails + "new@x\r\n"}},
        {"edit", {"a\r\nb\r\nc\r\nd\r\nE\r\n", mails + "5@x\r\n"}},
        {"delete", {"a\r\nc\r\nd\r\ne\r\n", "1\r\n3\r\n4\r\n"}},
        {"delete the last", {"a\r\nb\r\nc\r\nd\r\n", mails}},
    };
    QCOMPARE(descriptionsFile(setup.dir), saved[kind].first);
    QCOMPARE(mailsFile(setup.dir), saved[kind].second);
    const QMap<QString, int> mailCount{{"add", 5}, {"edit", 5}, {"delete", 3}, {"delete the last", 4}};
    QCOMPARE(book.count(ListId::Mails), std::size_t(mailCount[kind]));
}

// Each change the book makes to its lists, from its own calls or through a load or restore, and
// what registered views were told of it.
void TestAddressBook::viewsAreToldOfEveryChange_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("told");
    const struct
    {
        const char *name;
        const char *change;
        QStringList told;
    } rows[] = {
        {"append", "append", {"insert d 5: 5 -> 6", "insert m 5: 5 -> 6"}},
        {"replace", "replace", {"replace m 1: 5 -> 5"}},
        {"remove", "remove", {"remove d 0: 5 -> 4"}},
        {"load", "load", {"reset m: 5 -> 5", "reset d: 5 -> 5"}},
        {"a load that fails", "failed load", {"reset m: 5 -> 5"}},
        {"restore", "restore", {"reset m: 5 -> 1", "reset d: 5 -> 5"}},
        {"a restore that cannot read", "failed restore", {}},
        {"views removed", "remove views, append", {}},
        {"two views, the first outermost", "second views, remove",
            {"second: remove d 0: 5 -> 4", "remove d 0: 5 -> 4"}},
        {"a view registered twice is told once", "add views again, remove", {"remove d 0: 5 -> 4"}},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << QString::fromUtf8(row.change) << row.told;
}

void TestAddressBook::viewsAreToldOfEveryChange()
{
    QFETCH(QString, change);
    QFETCH(QStringList, told);
    FiveEntries setup;
    AddressBook &book = setup.book;
    testutil::writeFile(setup.dir.path("m.bak"), "m@x\r\n");
    RecordingViews views(book);
    std::optional<RecordingViews> second;
    for (const QString &step : change.split(QStringLiteral(", "))) {
        if (step == QLatin1String("append"))
            book.append("f", "6");
        else if (step == QLatin1String("replace"))
            book.replace(ListId::Mails, 1, "x");
        else if (step == QLatin1String("remove"))
            book.remove(ListId::Descriptions, 0);
        else if (step == QLatin1String("load"))
            book.load();
        else if (step == QLatin1String("failed load")) {
            QVERIFY(::remove(setup.dir.path("database/mails.dat").c_str()) == 0);
            QVERIFY_THROWS_EXCEPTION(FileOpenError, book.load());
        } else if (step == QLatin1String("restore"))
            book.restoreFrom(std::nullopt, setup.dir.path("m.bak"));
        else if (step == QLatin1String("failed restore"))
            QVERIFY_THROWS_EXCEPTION(FileOpenError, book.restoreFrom(setup.dir.path("none.bak"), std::nullopt));
        else if (step == QLatin1String("remove views"))
            book.removeViews(views);
        else if (step == QLatin1String("second views"))
            second.emplace(book, &views.log, QStringLiteral("second: "));
        else if (step == QLatin1String("add views again"))
            book.addViews(views);
        else
            QFAIL(qPrintable(step));
    }
    QCOMPARE(views.log, told);
}

// An import adds only the entries the book does not hold yet, by description and address
// together, nor an earlier line of the import; whatever was left out is counted.
void TestAddressBook::importLeavesOutWhatTheBookHas_data()
{
    QTest::addColumn<QByteArray>("descriptions"); // the book's files
    QTest::addColumn<QByteArray>("mails");
    QTest::addColumn<QStringList>("imported"); // "description|mail"
    QTest::addColumn<int>("alreadyThere");
    QTest::addColumn<QByteArray>("mailsAfter");

    const QByteArray d = "Anna\r\nBoris\r\n", m = "a@x\r\nb@x\r\n";
    QTest::newRow("all new") << d << m << QStringList{"Vera|v@x", "Anna|a2@x"} << 0 << m + "v@x\r\na2@x\r\n";
    QTest::newRow("one in the book") << d << m << QStringList{"Boris|b@x", "Vera|v@x"} << 1 << m + "v@x\r\n";
    QTest::newRow("same address, another description is new")
        << d << m << QStringList{"Boris B.|b@x"} << 0 << m + "b@x\r\n";
    QTest::newRow("case and spaces count") << d << m << QStringList{"anna|a@x", "Anna|a@x "} << 0
                                           << m + "a@x\r\na@x \r\n";
    QTest::newRow("repeated within the import") << d << m << QStringList{"Vera|v@x", "Vera|v@x", "Vera|v@x"} << 2
                                                << m + "v@x\r\n";
    QTest::newRow("everything there: nothing saved") << d << m << QStringList{"Anna|a@x", "Boris|b@x"} << 2 << m;
    QTest::newRow("empty description and address pair") << QByteArray("\r\n") << QByteArray("\r\n")
                                                         << QStringList{"|"} << 1 << QByteArray("\r\n");
    // The descriptions file is one line longer: its last entry has an empty address.
    QTest::newRow("lists of different length") << d + "Gleb\r\n" << m << QStringList{"Gleb|", "Boris|b@x"} << 2 << m;
}

void TestAddressBook::importLeavesOutWhatTheBookHas()
{
    QFETCH(QByteArray, descriptions);
    QFETCH(QByteArray, mails);
    QFETCH(QStringList, imported);
    QFETCH(int, alreadyThere);
    QFETCH(QByteArray, mailsAfter);
    ScratchDir dir;
    writeBook(dir, descriptions.toStdString(), mails.toStdString());
    AddressBook book(dir.path());
    book.load();
    BookLists entries;
    for (const QString &entry : imported) {
        entries.descriptions.append(entry.section('|', 0, 0).toStdString());
        entries.mails.append(entry.section('|', 1).toStdString());
    }
    const std::uint64_t saves = book.saves();
    const AddressBook::ImportCounts counts = book.appendNewAndSave(entries);
    QCOMPARE(counts.alreadyThere, std::size_t(alreadyThere));
    QCOMPARE(counts.added, std::size_t(imported.size() - alreadyThere));
    QCOMPARE(QByteArray::fromStdString(mailsFile(dir)), mailsAfter);
    QCOMPARE(book.saves(), saves + (counts.added == 0 ? 0 : 1));
    QCOMPARE(book.count(ListId::Descriptions) - book.count(ListId::Mails),
        std::size_t(descriptions.count('\n') - mails.count('\n')));

    // The same import again adds nothing, the second time by its entries and by its identifier.
    QCOMPARE(book.appendNewAndSave(entries).added, std::size_t(0));
    const std::string id(32, 'a');
    if (counts.added != 0) {
        BookLists fresh;
        fresh.descriptions.append("Zoe");
        fresh.mails.append("z@x");
        QCOMPARE(book.appendNewAndSave(fresh, id).added, std::size_t(1));
        QCOMPARE(book.appendNewAndSave(fresh, id).added, std::size_t(1)); // recorded: it added them
        QCOMPARE(QByteArray::fromStdString(mailsFile(dir)), mailsAfter + "z@x\r\n");
    }
}

QTEST_APPLESS_MAIN(TestAddressBook)
#include "test_address_book.moc"
