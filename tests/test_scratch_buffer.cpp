// The scratch buffer: a text of CR LF lines loaded from and saved to files.

#include "data_test_util.h"

#include "book/scratch_buffer.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using namespace kvillo;
using testutil::ScratchDir;

class TestScratchBuffer : public QObject
{
    Q_OBJECT

private slots:
    void startsWithName();
    void loadNormalizes_data();
    void loadNormalizes();
    void lines_data();
    void lines();
    void addLine();
    void longLineIsCut();
    void capacity();
    void hugeFileWithEarlyNul();
    void loadMissingFile();
};

void TestScratchBuffer::startsWithName()
{
    ScratchBuffer memo;
    QCOMPARE(memo.text(), std::string("Memo1"));
    QCOMPARE(memo.lineCount(), std::size_t(1));
    memo.clear();
    QCOMPARE(memo.text(), std::string());
    QCOMPARE(memo.lineCount(), std::size_t(0));
}

void TestScratchBuffer::loadNormalizes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("CR LF kept") << QByteArray("a\r\nb\r\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("no final break") << QByteArray("a\r\nb") << QByteArray("a\r\nb");
    QTest::newRow("LF") << QByteArray("a\nb\n") << QByteArray("a\r\nb\r\n");
    QTest::newRow("CR") << QByteArray("a\rb") << QByteArray("a\r\nb");
    QTest::newRow("LF CR is two") << QByteArray("a\n\rb") << QByteArray("a\r\n\r\nb");
    QTest::newRow("CR CR LF") << QByteArray("\r\r\n") << QByteArray("\r\n\r\n");
    QTest::newRow("NUL cuts") << QByteArray("a\nb\0c\n", 6) << QByteArray("a\r\nb");
    QTest::newRow("NUL first") << QByteArray("\0abc", 4) << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("high bytes") << QByteArray("\xC0\x98\xFF\n") << QByteArray("\xC0\x98\xFF\r\n");
}

void TestScratchBuffer::loadNormalizes()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, text);

    ScratchDir dir;
    testutil::writeFile(dir.path("in.txt"), file.toStdString());
    ScratchBuffer memo;
    memo.loadFromFile(dir.path("in.txt"));
    QCOMPARE(testutil::bytes(memo.text()), text);

    // Saved again exactly as held, final break or not.
    memo.saveToFile(dir.path("out.txt"));
    QCOMPARE(testutil::bytes(testutil::readFile(dir.path("out.txt"))), text);
}

void TestScratchBuffer::lines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("empty") << QByteArray() << QStringList{};
    QTest::newRow("one line, no break") << QByteArray("abc") << QStringList{"abc"};
    QTest::newRow("final CR LF adds no line") << QByteArray("a\r\nb\r\n") << QStringList{"a", "b"};
    QTest::newRow("only CR LF") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("empty lines") << QByteArray("\r\n\r\nx\r\n\r\n") << QStringList{"", "", "x", ""};
    QTest::newRow("lone CR and LF are not breaks") << QByteArray("a\rb\nc\r\nd") << QStringList{"a\rb\nc", "d"};
}

void TestScratchBuffer::lines()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, lines);

    ScratchBuffer memo;
    memo.setText(text.toStdString());
    QCOMPARE(memo.lineCount(), std::size_t(lines.size()));
    for (qsizetype i = 0; i < lines.size(); ++i)
        QCOMPARE(QString::fromStdString(memo.line(static_cast<std::size_t>(i))), lines[i]);
    QCOMPARE(memo.line(static_cast<std::size_t>(lines.size())), std::string());
    QCOMPARE(memo.line(1000000), std::string());
}

void TestScratchBuffer::addLine()
{
    ScratchBuffer memo;
    memo.clear();
    for (const char *line : {"one", "", "three", ""})
        memo.addLine(line);
    QCOMPARE(memo.text(), std::string("one\r\n\r\nthree\r\n\r\n"));
    QCOMPARE(memo.lineCount(), std::size_t(4));

    // Reads between adds must see every add, also after a text without a final break.
    memo.setText("head");
    QCOMPARE(memo.lineCount(), std::size_t(1));
    memo.addLine("tail");
    QCOMPARE(memo.lineCount(), std::size_t(1));
    QCOMPARE(memo.line(0), std::string("headtail"));
    memo.addLine("next");
    QCOMPARE(memo.lineCount(), std::size_t(2));
    QCOMPARE(memo.line(1), std::string("next"));
    memo.addLine("a\r\nb");
    QCOMPARE(memo.lineCount(), std::size_t(4));
    QCOMPARE(memo.line(3), std::string("b"));
    memo.addLine("last");
    QCOMPARE(memo.line(4), std::string("last"));

    ScratchDir dir;
    memo.saveToFile(dir.path("out.txt"));
    QCOMPARE(testutil::readFile(dir.path("out.txt")), std::string("headtail\r\nnext\r\na\r\nb\r\nlast\r\n"));
}

void TestScratchBuffer::longLineIsCut()
{
    const std::string longLine(5000, 'L');
    ScratchBuffer memo;
    memo.setText("x\r\n" + longLine + "\r\ny");
    QCOMPARE(memo.line(1), std::string(ScratchBuffer::kLineReadLimit, 'L'));
    QCOMPARE(memo.line(2), std::string("y"));
    memo.setText(std::string(4096, 'a') + "b");
    QCOMPARE(memo.line(0), std::string(4096, 'a'));
}

void TestScratchBuffer::capacity()
{
    ScratchDir dir;
    const std::string path = dir.path("big.txt");
    {
        // One byte more than the buffer holds, with no NUL to end the text early.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(fd >= 0);
        const std::string chunk(1 << 20, 'z');
        for (std::size_t i = 0; i < ScratchBuffer::kCapacity / chunk.size(); ++i)
            QCOMPARE(::write(fd, chunk.data(), chunk.size()), ssize_t(chunk.size()));
        QCOMPARE(::write(fd, "z", 1), ssize_t(1));
        ::close(fd);
    }
    ScratchBuffer memo;
    memo.setText("before");
    try {
        memo.loadFromFile(path);
        QFAIL("an oversized file loaded");
    } catch (const MemoCapacityError &error) {
        QCOMPARE(QString(error.what()), QString("Text exceeds memo capacity"));
    }
    QCOMPARE(memo.text(), std::string("before"));

    // The limit holds for the text as held: LF-only lines grow by a byte each when loaded.
    testutil::writeFile(path, std::string(ScratchBuffer::kCapacity / 2 + 1, '\n'));
    QVERIFY_THROWS_EXCEPTION(MemoCapacityError, memo.loadFromFile(path));
    QCOMPARE(memo.text(), std::string("before"));
    QVERIFY_THROWS_EXCEPTION(MemoCapacityError, memo.setText(std::string(ScratchBuffer::kCapacity + 1, 'a')));
    QCOMPARE(memo.text(), std::string("before"));
}

void TestScratchBuffer::hugeFileWithEarlyNul()
{
    // A sparse file far beyond the capacity: its holes read as NULs, so only the head is text.
    ScratchDir dir;
    const std::string path = dir.path("sparse.txt");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "head\nline", 9), ssize_t(9));
    QCOMPARE(::ftruncate(fd, off_t(4) << 30), 0);
    ::close(fd);

    ScratchBuffer memo;
    memo.loadFromFile(path);
    QCOMPARE(memo.text(), std::string("head\r\nline"));
}

void TestScratchBuffer::loadMissingFile()
{
    ScratchDir dir;
    const std::string path = dir.path("config/config.ini");
    ScratchBuffer memo;
    try {
        memo.loadFromFile(path);
        QFAIL("a missing file loaded");
    } catch (const FileOpenError &error) {
        QCOMPARE(QString(error.what()),
            QString::fromStdString("Cannot open file \"" + path + "\". " + sys::errorText(ENOENT)));
    }
    QCOMPARE(memo.text(), std::string("Memo1"));
}

QTEST_APPLESS_MAIN(TestScratchBuffer)
#include "test_scratch_buffer.moc"
