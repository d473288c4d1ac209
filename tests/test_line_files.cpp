// Line files and the address book's data files: splitting, writing, where the files lie, and what
// happens to the files on disk when loading or saving fails.

#include "data_test_util.h"

#include "book/address_store.h"
#include "book/book_folder.h"
#include "book/line_list.h"
#include "sys/cp1251.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace kvillo;
using testutil::ScratchDir;

namespace {

QStringList items(const LineList &list)
{
    QStringList out;
    for (std::size_t i = 0; i < list.size(); ++i)
        out << QString::fromLatin1(testutil::bytes(list[i]));
    return out;
}

LineList listOf(const QStringList &lines)
{
    LineList list;
    for (const QString &line : lines)
        list.append(line.toStdString());
    return list;
}

// Runs `action`, which must throw E with exactly `message`.
template <typename E, typename F> void expectError(F &&action, const std::string &message)
{
    try {
        action();
        QFAIL(("no error, expected: " + message).c_str());
    } catch (const E &error) {
        QCOMPARE(QString::fromUtf8(error.what()), QString::fromStdString(message));
    }
}

} // namespace

class TestLineFiles : public QObject
{
    Q_OBJECT

private slots:
    void splitting_data();
    void splitting();
    void saveWritesCrLf_data();
    void saveWritesCrLf();
    void everyByteSurvives();
    void hugeAndBinaryFiles();
    void paths();
    void loadFailures_data();
    void loadFailures();
    void saveWithoutDatabaseDirectory();
    void unloadedFileMovedAside_data();
    void unloadedFileMovedAside();
    void loadedFileReplaced();
    void failedSaveKeepsOldFile();
    void readOnlyFileKept();
    void listEditing();
    void compactionKeepsContents();
    void appendingAListKeepsEveryItem_data();
    void appendingAListKeepsEveryItem();
    void codePageRoundTrip();
    void foldCase_data();
    void foldCase();
    void utf8Conversion();
    void malformedUtf8_data();
    void malformedUtf8();
};

void TestLineFiles::splitting_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("LF only") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("CR only") << QByteArray("a\rb\r") << QStringList{"a", "b"};
    QTest::newRow("LF CR is two ends") << QByteArray("a\n\rb") << QStringList{"a", "", "b"};
    QTest::newRow("CR CR is two ends") << QByteArray("a\r\rb") << QStringList{"a", "", "b"};
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QStringList{"a", "", "b"};
    QTest::newRow("mixed ends") << QByteArray("a\rb\nc\r\nd") << QStringList{"a", "b", "c", "d"};
    QTest::newRow("no final end") << QByteArray("a\r\nlast") << QStringList{"a", "last"};
    QTest::newRow("empty lines inside and at end")
        << QByteArray("\r\na\r\n\r\n\r\nb\r\n\r\n") << QStringList{"", "a", "", "", "b", ""};
    QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("NUL ends the text") << QByteArray("a\r\nb\0c\r\nd\r\n", 11) << QStringList{"a", "b"};
    QTest::newRow("NUL first") << QByteArray("\0a\r\n", 4) << QStringList{};
    QTest::newRow("NUL after CR") << QByteArray("a\r\0\nb", 5) << QStringList{"a"};
    QTest::newRow("long line past a vector block") << QByteArray(QByteArray(37, 'x') + "\n" + QByteArray(20, 'y'))
                                                   << QStringList{QString(37, 'x'), QString(20, 'y')};
}

void TestLineFiles::splitting()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, lines);

    ScratchDir dir;
    testutil::makeDir(dir.path("database"));
    AddressStore store(dir.path());
    testutil::writeFile(store.dataPath(ListId::Mails), file.toStdString());

    LineList list = listOf({"stale"});
    store.load(ListId::Mails, list);
    QCOMPARE(items(list), lines);
}

void TestLineFiles::saveWritesCrLf_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("empty list") << QStringList{} << QByteArray();
    QTest::newRow("one empty string") << QStringList{""} << QByteArray("\r\n");
    QTest::newRow("lines") << QStringList{"a", "", "bc", ""} << QByteArray("a\r\n\r\nbc\r\n\r\n");
}

void TestLineFiles::saveWritesCrLf()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, file);

    ScratchDir dir;
    testutil::makeDir(dir.path("database"));
    AddressStore store(dir.path());
    store.save(ListId::Descriptions, listOf(lines));
    QCOMPARE(testutil::bytes(testutil::readFile(store.dataPath(ListId::Descriptions))), file);

    // And back: the same strings, empty ones included.
    LineList again;
    store.load(ListId::Descriptions, again);
    QCOMPARE(items(again), lines);
}

void TestLineFiles::everyByteSurvives()
{
    // Every byte value that can stand inside an item, 0x98 (no character in the code page) among them.
    std::string all;
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            all += static_cast<char>(b);
    }
    std::string file = all + "\r\n";
    for (std::size_t i = 0; i < all.size(); ++i)
        file += all.substr(i, 1) + "\r\n";

    ScratchDir dir;
    testutil::makeDir(dir.path("database"));
    AddressStore store(dir.path());
    testutil::writeFile(store.dataPath(ListId::Mails), file);
    LineList list;
    store.load(ListId::Mails, list);
    QCOMPARE(list.size(), all.size() + 1);
    QCOMPARE(list[0], std::string_view(all));
    store.save(ListId::Mails, list);
    QVERIFY(testutil::readFile(store.dataPath(ListId::Mails)) == file);
}

void TestLineFiles::hugeAndBinaryFiles()
{
    ScratchDir dir;
    testutil::makeDir(dir.path("database"));
    AddressStore store(dir.path());

    const std::string line(100 * 1000 * 1000, 'w');
    testutil::writeFile(store.dataPath(ListId::Descriptions), line);
    LineList list;
    store.load(ListId::Descriptions, list);
    QCOMPARE(list.size(), std::size_t(1));
    QCOMPARE(list[0].size(), line.size());

    // Pseudo-random bytes: whatever the splitter makes of them, it must agree with a plain scan.
    std::string binary(1 << 20, '\0');
    std::uint32_t state = 12345;
    for (char &c : binary) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(1 + (state >> 16) % 255);
    }
    binary[binary.size() / 2] = '\0';
    testutil::writeFile(store.dataPath(ListId::Mails), binary);
    store.load(ListId::Mails, list);
    std::size_t expected = 0;
    splitLines(beforeNul(binary), [&](std::size_t, std::size_t) { ++expected; });
    QCOMPARE(list.size(), expected);
    QVERIFY(expected > 1000);
    std::size_t bytesInItems = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        QVERIFY(list[i].find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos);
        bytesInItems += list[i].size();
    }
    QVERIFY(bytesInItems < binary.size() / 2);
}

void TestLineFiles::paths()
{
    AddressStore store("/opt/kvillo/");
    QCOMPARE(store.dataPath(ListId::Mails), std::string("/opt/kvillo/database/mails.dat"));
    QCOMPARE(store.dataPath(ListId::Descriptions), std::string("/opt/kvillo/database/descriptions.dat"));
    QCOMPARE(store.settingsPath(), std::string("/opt/kvillo/config/config.ini"));

    // The running executable's directory, with its separator.
    const std::string app = applicationDirectory();
    QVERIFY(app.ends_with('/'));
    QCOMPARE(sys::kindOf(app), sys::Kind::Directory);
    QCOMPARE(sys::kindOf(app + "test_line_files"), sys::Kind::File);
}

void TestLineFiles::loadFailures_data()
{
    QTest::addColumn<bool>("databaseDirectory");
    QTest::addColumn<bool>("directoryAsFile");
    QTest::addColumn<int>("error");

    QTest::newRow("missing file") << true << false << ENOENT;
    QTest::newRow("missing directory") << false << false << ENOENT;
    QTest::newRow("directory in place of the file") << true << true << EISDIR;
}

void TestLineFiles::loadFailures()
{
    QFETCH(bool, databaseDirectory);
    QFETCH(bool, directoryAsFile);
    QFETCH(int, error);

    ScratchDir dir;
    AddressStore store(dir.path());
    const std::string path = store.dataPath(ListId::Descriptions);
    if (databaseDirectory)
        testutil::makeDir(dir.path("database"));
    if (directoryAsFile)
        testutil::makeDir(path);

    LineList list = listOf({"kept", "", "too"});
    expectError<FileOpenError>(
        [&] { store.load(ListId::Descriptions, list); }, "Cannot open file \"" + path + "\". " + sys::errorText(error));
    QCOMPARE(items(list), (QStringList{"kept", "", "too"}));
    QVERIFY(!store.isLoaded(ListId::Descriptions));
}

void TestLineFiles::saveWithoutDatabaseDirectory()
{
    ScratchDir dir;
    AddressStore store(dir.path());
    for (ListId id : {ListId::Mails, ListId::Descriptions}) {
        expectError<FileCreateError>([&] { store.save(id, listOf({"x"})); },
            "Cannot create file \"" + store.dataPath(id) + "\". " + sys::errorText(ENOENT));
    }
    QCOMPARE(testutil::entries(dir.path()), QStringList{});
}

void TestLineFiles::unloadedFileMovedAside_data()
{
    QTest::addColumn<bool>("directory");
    QTest::newRow("file that failed to load or was never read") << false;
    QTest::newRow("directory in place of the file") << true;
}

void TestLineFiles::unloadedFileMovedAside()
{
    QFETCH(bool, directory);

    ScratchDir dir;
    testutil::makeDir(dir.path("database"));
    AddressStore store(dir.path());
    const std::string path = store.dataPath(ListId::Mails);
    if (directory) {
        testutil::makeDir(path);
        testutil::writeFile(path + "/inner", "inner bytes");
    } else {
        testutil::writeFile(path, "old entry\r\n");
    }

    store.save(ListId::Mails, listOf({"new"}));
    QCOMPARE(testutil::readFile(path), std::string("new\r\n"));

    const QStringList names = testutil::entries(dir.path("database"));
    QCOMPARE(names.size(), 2);
    QCOMPARE(names[0], QString("mails.dat"));
    QVERIFY2(
        QRegularExpression("^mails\\.dat\\.unloaded-\\d{8}-\\d{6}$").match(names[1]).hasMatch(), qPrintable(names[1]));
    const std::string aside = dir.path("database/") + names[1].toStdString();
    if (directory)
        QCOMPARE(testutil::readFile(aside + "/inner"), std::string("inner bytes"));
    else
        QCOMPARE(testutil::readFile(aside), std::string("old entry\r\n"));

    // Only the first write is guarded: after it the file is ours.
    store.save(ListId::Mails, listOf({"newer"}));
    QCOMPARE(testutil::entries(dir.path("database")).size(), 2);
    QCOMPARE(testutil::readFile(path), std::string("newer\r\n"));
}

void TestLineFiles::loadedFileReplaced()
{
    ScratchDir dir;
    testutil::makeDir(dir.path("database"));
    AddressStore store(dir.path());
    const std::string path = store.dataPath(ListId::Descriptions);
    testutil::writeFile(path, "one\ntwo");

    LineList list;
    store.load(ListId::Descriptions, list);
    list.append("three");
    store.save(ListId::Descriptions, list);
    QCOMPARE(testutil::readFile(path), std::string("one\r\ntwo\r\nthree\r\n"));
    QCOMPARE(testutil::entries(dir.path("database")), QStringList{"descriptions.dat"});
}

void TestLineFiles::failedSaveKeepsOldFile()
{
    // A file size limit makes the write itself fail part way, even for root.
    ScratchDir dir;
    testutil::makeDir(dir.path("database"));
    AddressStore store(dir.path());
    const std::string path = store.dataPath(ListId::Mails);
    const std::string old = "old 1\r\nold 2\r\n";
    testutil::writeFile(path, old);
    LineList list;
    store.load(ListId::Mails, list);
    for (int i = 0; i < 2000; ++i)
        list.append("entry number " + std::to_string(i));

    rlimit saved{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    bool failed = false;
    try {
        store.save(ListId::Mails, list);
    } catch (const StreamWriteError &error) {
        failed = true;
        QCOMPARE(QString(error.what()), QString("Stream write error"));
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    QVERIFY(failed);
    QCOMPARE(testutil::readFile(path), old);
    QCOMPARE(testutil::entries(dir.path("database")), QStringList{"mails.dat"});
}

void TestLineFiles::readOnlyFileKept()
{
    if (::geteuid() == 0)
        QSKIP("file permissions do not bind root");
    ScratchDir dir;
    testutil::makeDir(dir.path("database"));
    AddressStore store(dir.path());
    const std::string path = store.dataPath(ListId::Mails);
    testutil::writeFile(path, "old\r\n");
    LineList list;
    store.load(ListId::Mails, list);
    QCOMPARE(::chmod(path.c_str(), 0444), 0);

    expectError<FileCreateError>([&] { store.save(ListId::Mails, listOf({"new"})); },
        "Cannot create file \"" + path + "\". " + sys::errorText(EACCES));
    QCOMPARE(testutil::readFile(path), std::string("old\r\n"));
    QCOMPARE(testutil::entries(dir.path("database")), QStringList{"mails.dat"});
}

void TestLineFiles::listEditing()
{
    LineList list = listOf({"a", "b", "c"});
    list.insert(0, "first");
    list.insert(4, "last");
    list.insert(2, "");
    QCOMPARE(items(list), (QStringList{"first", "a", "", "b", "c", "last"}));
    list.remove(2);
    list.remove(0);
    list.remove(3);
    QCOMPARE(items(list), (QStringList{"a", "b", "c"}));

    // Inserting a copy of an item of the same list must not read freed bytes when the buffer grows.
    for (int i = 0; i < 100; ++i)
        list.insert(1, list[list.size() - 1]);
    QCOMPARE(list.size(), std::size_t(103));
    QCOMPARE(list[50], std::string_view("c"));

    QCOMPARE(list.at(2), std::string_view("c"));
    for (long long bad : {-1LL, 103LL, 5000000000LL})
        expectError<ListIndexError>([&] { list.at(bad); }, "List index out of bounds (" + std::to_string(bad) + ")");
    expectError<ListIndexError>([&] { LineList().at(5); }, "List index out of bounds (5)");

    list.clear();
    QVERIFY(list.empty());
    QCOMPARE(list.toText(), std::string());
}

void TestLineFiles::compactionKeepsContents()
{
    // Enough removals and replacements that the buffer is rebuilt several times.
    LineList list;
    QStringList model;
    for (int i = 0; i < 3000; ++i) {
        const std::string text = "entry " + std::to_string(i) + std::string(i % 17, '.');
        list.append(text);
        model << QString::fromStdString(text);
    }
    for (int round = 0; round < 2500; ++round) {
        const std::size_t at = (static_cast<std::size_t>(round) * 7919) % list.size();
        list.remove(at);
        model.removeAt(static_cast<qsizetype>(at));
        if (round % 3 == 0) {
            const std::string text = "replaced " + std::to_string(round);
            list.insert(at, text);
            model.insert(static_cast<qsizetype>(at), QString::fromStdString(text));
        }
    }
    QCOMPARE(items(list), model);
    QCOMPARE(testutil::bytes(list.toText()), (model.join("\r\n") + "\r\n").toLatin1());
}

void TestLineFiles::codePageRoundTrip()
{
    for (int b = 0; b < 256; ++b) {
        const char16_t u = cp1251::toUnicode(static_cast<unsigned char>(b));
        QCOMPARE(cp1251::fromUnicode(u), b);
        // Through UTF-8 and back as well.
        const std::string one(1, static_cast<char>(b));
        QCOMPARE(testutil::bytes(cp1251::fromUtf8(cp1251::toUtf8(one))), testutil::bytes(one));
    }
    QCOMPARE(cp1251::toUnicode(0xC0), u'А');
    QCOMPARE(cp1251::toUnicode(0xA8), u'Ё');
    QCOMPARE(cp1251::toUnicode(0xB9), u'№');
    QCOMPARE(cp1251::toUnicode(0x88), u'€');
    QCOMPARE(cp1251::toUnicode(0x98), char16_t(0x98));
    QCOMPARE(cp1251::fromUnicode(U'Ω'), -1);
    QCOMPARE(cp1251::fromUnicode(U'😀'), -1);
}

void TestLineFiles::foldCase_data()
{
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("lower");

    QTest::newRow("Latin") << "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                           << "abcdefghijklmnopqrstuvwxyz";
    QTest::newRow("Russian") << "АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯЁ"
                             << "абвгдежзийклмнопрстуфхцчшщъыьэюяё";
    QTest::newRow("other Cyrillic") << "ЂЃЉЊЌЋЏЎЈҐЄЇІЅ"
                                    << "ђѓљњќћџўјґєїіѕ";
    QTest::newRow("not letters") << "09 @[`{ «»№€—"
                                 << "09 @[`{ «»№€—";
    QTest::newRow("lower stays") << "abcяёґ"
                                 << "abcяёґ";
}

void TestLineFiles::foldCase()
{
    QFETCH(QString, upper);
    QFETCH(QString, lower);

    const std::string from = cp1251::fromUtf8(upper.toStdString());
    std::string folded;
    for (unsigned char b : from)
        folded += static_cast<char>(cp1251::foldCase(b));
    QCOMPARE(QString::fromStdString(cp1251::toUtf8(folded)), lower);
}

void TestLineFiles::utf8Conversion()
{
    const QString text = "Иванов Пётр, «Ромашка» №5 — 10€ ABC";
    const std::string bytes = cp1251::fromUtf8(text.toStdString());
    QCOMPARE(bytes.size(), std::size_t(text.size()));
    QCOMPARE(static_cast<unsigned char>(bytes[0]), 0xC8); // И
    QCOMPARE(QString::fromStdString(cp1251::toUtf8(bytes)), text);
    // What the code page cannot hold becomes '?'.
    QCOMPARE(cp1251::fromUtf8("a\u03A9b\U0001F600c"), std::string("a?b?c"));
}

// One decoder for the whole program: what it refuses never becomes a character, however it is read.
void TestLineFiles::malformedUtf8_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("cp1251");
    QTest::newRow("well formed") << QByteArray("a\xD0\x98") << true << QByteArray("a\xC8");
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << false << QByteArray("??");
    QTest::newRow("overlong Cyrillic") << QByteArray("\xE0\x84\x98") << false << QByteArray("???");
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false << QByteArray("???");
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false << QByteArray("????");
    QTest::newRow("cut short") << QByteArray("x\xD0") << false << QByteArray("x?");
    QTest::newRow("lone continuation") << QByteArray("\x98y") << false << QByteArray("?y");
}

void TestLineFiles::malformedUtf8()
{
    QFETCH(QByteArray, utf8);
    QFETCH(bool, valid);
    QFETCH(QByteArray, cp1251);
    const std::string_view text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    QCOMPARE(cp1251::isValidUtf8(text), valid);
    QCOMPARE(QByteArray::fromStdString(cp1251::fromUtf8(text)), cp1251);
}

// A whole list appended to another: in one copy when its items lie in order, item by item when
// they do not; either way the texts, the search and the file are those of the items.
void TestLineFiles::appendingAListKeepsEveryItem_data()
{
    QTest::addColumn<QString>("edit"); // what is done to the appended list first
    QTest::newRow("built by appends") << "none";
    QTest::newRow("an item removed") << "remove";
    QTest::newRow("an item replaced") << "replace";
    QTest::newRow("appended to itself") << "self";
    QTest::newRow("empty") << "empty";
}

void TestLineFiles::appendingAListKeepsEveryItem()
{
    QFETCH(QString, edit);
    LineList target, added;
    target.append("old");
    for (const char *text : {"a", "", "bc", "def"})
        added.append(text);
    QStringList expected{"old"};
    if (edit == "remove")
        added.remove(1);
    else if (edit == "replace")
        added.replace(0, "zz");
    else if (edit == "empty")
        added.clear();
    LineList &from = edit == "self" ? target : added;
    for (std::size_t i = 0; i < from.size(); ++i)
        expected << QString::fromStdString(std::string(from[i]));
    target.append(from);
    QStringList got;
    for (std::size_t i = 0; i < target.size(); ++i)
        got << QString::fromStdString(std::string(target[i]));
    QCOMPARE(got, expected);
    QCOMPARE(QString::fromStdString(target.toText()), expected.join("\r\n") + "\r\n");
    target.append("tail");
    QCOMPARE(target[target.size() - 1], std::string_view("tail"));
    QCOMPARE(QString::fromStdString(std::string(target[target.size() - 2])), expected.last());
}

QTEST_APPLESS_MAIN(TestLineFiles)
#include "test_line_files.moc"
