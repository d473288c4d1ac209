// The line files in tests/data, read and written back exactly as the Windows build does with the
// same files (tests/windows): the two builds agree byte for byte.

#include "data_test_util.h"

#include "book/address_store.h"
#include "book/line_list.h"
#include "book/scratch_buffer.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace kvillo;
using testutil::ScratchDir;

namespace {

QString vectorDirectory()
{
    return QStringLiteral(KVILLO_TEST_DATA);
}

std::string vectorFile(const QString &name, const char *suffix)
{
    return (vectorDirectory() + '/' + name + QLatin1String(suffix)).toStdString();
}

// The file's bytes; fails the test when it cannot be read.
std::string contents(const std::string &path)
{
    std::string bytes = testutil::readFile(path);
    if (bytes == "<missing>")
        qFatal("cannot read %s", path.c_str());
    return bytes;
}

} // namespace

class TestSharedVectors : public QObject
{
    Q_OBJECT

private slots:
    void listRoundTrip_data() { addVectorRows(); }
    void listRoundTrip();
    void memoRoundTrip_data() { addVectorRows(); }
    void memoRoundTrip();

private:
    static void addVectorRows();
};

void TestSharedVectors::addVectorRows()
{
    QTest::addColumn<QString>("name");
    const QStringList files = QDir(vectorDirectory()).entryList({QStringLiteral("*.dat")}, QDir::Files, QDir::Name);
    QVERIFY2(files.size() >= 10, qPrintable(vectorDirectory()));
    for (const QString &file : files) {
        const QString name = file.chopped(4);
        QTest::newRow(qPrintable(name)) << name;
    }
}

void TestSharedVectors::listRoundTrip()
{
    QFETCH(QString, name);
    const std::string saved = contents(vectorFile(name, ".saved"));

    ScratchDir dir;
    testutil::makeDir(dir.path("database"));
    AddressStore store(dir.path());
    const std::string path = store.dataPath(ListId::Mails);
    testutil::writeFile(path, contents(vectorFile(name, ".dat")));

    LineList list;
    store.load(ListId::Mails, list);
    store.save(ListId::Mails, list);
    QCOMPARE(testutil::bytes(testutil::readFile(path)), testutil::bytes(saved));

    // What either build writes, the other reads back unchanged, one item per CR LF.
    store.load(ListId::Mails, list);
    QCOMPARE(list.size(), static_cast<std::size_t>(QByteArray::fromStdString(saved).count("\r\n")));
    store.save(ListId::Mails, list);
    QCOMPARE(testutil::bytes(testutil::readFile(path)), testutil::bytes(saved));
}

void TestSharedVectors::memoRoundTrip()
{
    QFETCH(QString, name);

    ScratchDir dir;
    ScratchBuffer memo;
    memo.loadFromFile(vectorFile(name, ".dat"));
    memo.saveToFile(dir.path("copy.bak"));
    QCOMPARE(testutil::bytes(testutil::readFile(dir.path("copy.bak"))),
        testutil::bytes(contents(vectorFile(name, ".memo"))));
}

QTEST_APPLESS_MAIN(TestSharedVectors)
#include "test_shared_vectors.moc"
