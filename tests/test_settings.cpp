// The settings file: integer conversion, reading key and value lines, and the file as written.

#include "data_test_util.h"

#include "book/scratch_buffer.h"
#include "book/settings.h"
#include "sys/cp1251.h"
#include "sys/errors.h"

#include <QTest>

using namespace kvillo;
using testutil::ScratchDir;

namespace {

// "Параметры" in Windows-1251.
const std::string kTitle = "[\xCF\xE0\xF0\xE0\xEC\xE5\xF2\xF0\xFB Kvillo]";

std::string convertMessage(const std::string &line)
{
    return "'" + line + "' is not a valid integer value";
}

// Reads `file` (given as UTF-8 text, stored in Windows-1251) through a real settings file.
// Returns the conversion error's message, or "" when reading succeeded.
QString readFrom(const QString &file, Settings &settings)
{
    ScratchDir dir;
    testutil::makeDir(dir.path("config"));
    const std::string path = dir.path("config/config.ini");
    testutil::writeFile(path, cp1251::fromUtf8(file.toStdString()));
    ScratchBuffer memo;
    memo.clear();
    memo.loadFromFile(path);
    try {
        readSettings(memo, settings);
    } catch (const ConvertError &error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(std::optional<int>)

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void toInteger_data();
    void toInteger();
    void convertMessageIsUtf8();
    void reading_data();
    void reading();
    void fontName();
    void writing();
    void writtenFileReadsBack();
};

void TestSettings::toInteger_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");

    QTest::newRow("plain") << QByteArray("640") << true << 640;
    QTest::newRow("leading spaces") << QByteArray("   640") << true << 640;
    QTest::newRow("leading tab") << QByteArray("\t640") << false << 0;
    QTest::newRow("trailing space") << QByteArray("640 ") << false << 0;
    QTest::newRow("inner space") << QByteArray("6 40") << false << 0;
    QTest::newRow("plus") << QByteArray("+5") << true << 5;
    QTest::newRow("minus") << QByteArray("-5") << true << -5;
    QTest::newRow("spaces then sign") << QByteArray("  -5") << true << -5;
    QTest::newRow("space after sign") << QByteArray("- 5") << false << 0;
    QTest::newRow("two signs") << QByteArray("--5") << false << 0;
    QTest::newRow("leading zeros") << QByteArray("000000000000000012") << true << 12;
    QTest::newRow("zero") << QByteArray("0") << true << 0;
    QTest::newRow("minus zero") << QByteArray("-0") << true << 0;
    QTest::newRow("dollar") << QByteArray("$280") << true << 640;
    QTest::newRow("x") << QByteArray("x1f") << true << 31;
    QTest::newRow("X") << QByteArray("X1F") << true << 31;
    QTest::newRow("0x") << QByteArray("0x1F") << true << 31;
    QTest::newRow("0X") << QByteArray("0X1f") << true << 31;
    QTest::newRow("all ones") << QByteArray("$FFFFFFFF") << true << -1;
    QTest::newRow("sign bit") << QByteArray("$80000000") << true << int(0x80000000u);
    QTest::newRow("negated hex") << QByteArray("-$1") << true << -1;
    QTest::newRow("negated 0x") << QByteArray("-0x10") << true << -16;
    QTest::newRow("8 hex digits") << QByteArray("$7FFFFFFF") << true << 2147483647;
    QTest::newRow("9 hex digits") << QByteArray("$100000000") << false << 0;
    QTest::newRow("leading zeros are not digits") << QByteArray("$0000000000FFFFFFFF") << true << -1;
    QTest::newRow("hex zeros") << QByteArray("0x0000000000") << true << 0;
    QTest::newRow("bad hex digit") << QByteArray("$1G") << false << 0;
    QTest::newRow("max") << QByteArray("2147483647") << true << 2147483647;
    QTest::newRow("min") << QByteArray("-2147483648") << true << int(-2147483647 - 1);
    QTest::newRow("max + 1") << QByteArray("2147483648") << false << 0;
    QTest::newRow("min - 1") << QByteArray("-2147483649") << false << 0;
    QTest::newRow("far too long") << QByteArray("99999999999999999999999999") << false << 0;
    QTest::newRow("empty") << QByteArray("") << false << 0;
    QTest::newRow("spaces only") << QByteArray("   ") << false << 0;
    QTest::newRow("sign only") << QByteArray("-") << false << 0;
    QTest::newRow("dollar only") << QByteArray("$") << false << 0;
    QTest::newRow("0x only") << QByteArray("0x") << false << 0;
    QTest::newRow("letters after digits") << QByteArray("12a") << false << 0;
    QTest::newRow("decimal point") << QByteArray("1.5") << false << 0;
}

void TestSettings::toInteger()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(int, value);

    try {
        const int result = kvillo::toInteger(text.toStdString());
        QVERIFY2(valid, qPrintable(QString("accepted as %1").arg(result)));
        QCOMPARE(result, value);
    } catch (const ConvertError &error) {
        QVERIFY2(!valid, error.what());
        QCOMPARE(QString(error.what()), QString::fromStdString(convertMessage(text.toStdString())));
    }
}

void TestSettings::convertMessageIsUtf8()
{
    // The value line arrives as Windows-1251 bytes; the message is shown to the user as text.
    try {
        kvillo::toInteger(cp1251::fromUtf8("пять"));
        QFAIL("accepted");
    } catch (const ConvertError &error) {
        QCOMPARE(QString::fromUtf8(error.what()), QString("'пять' is not a valid integer value"));
    }
}

void TestSettings::reading_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("fontName");
    QTest::addColumn<std::optional<int>>("fontSize");
    QTest::addColumn<std::optional<int>>("list1Width");
    QTest::addColumn<std::optional<int>>("width");
    QTest::addColumn<std::optional<int>>("height");
    const std::optional<int> unset;

    QTest::newRow("all keys") << "[Параметры Kvillo]\r\nFontName=\r\nArial\r\nFontSize=\r\n12\r\nList1.Width=\r\n"
                                 "200\r\nWidth=\r\n800\r\nHeight=\r\n600\r\n"
                              << ""
                              << "Arial" << std::optional(12) << std::optional(200) << std::optional(800)
                              << std::optional(600);
    QTest::newRow("keys must match exactly")
        << " Width=\r\n1\r\nWidth= \r\n2\r\nwidth=\r\n3\r\nWIDTH=\r\n4\r\nWidth\r\n5\r\nHeight=\r\n $280\n"
        << ""
        << "" << unset << unset << unset << std::optional(640);
    QTest::newRow("last occurrence wins") << "Width=\n1\nHeight=\n2\nWidth=\n3\n"
                                          << ""
                                          << "" << unset << unset << std::optional(3) << std::optional(2);
    QTest::newRow("a value line that is a key acts as one")
        << "FontName=\nWidth=\n640\n"
        << ""
        << "Width=" << unset << unset << std::optional(640) << unset;
    QTest::newRow("any line break") << "Width=\r640\nHeight=\n\r"
                                    << "'' is not a valid integer value"
                                    << "" << unset << unset << std::optional(640) << unset;
    QTest::newRow("trailing space stops reading") << "Width=\n640\nHeight=\n480 \nFontSize=\n9\n"
                                                  << "'480 ' is not a valid integer value"
                                                  << "" << unset << unset << std::optional(640) << unset;
    QTest::newRow("bad size after a font name keeps the name")
        << "FontName=\nCourier New\nFontSize=\nдесять\nWidth=\n1\n"
        << "'десять' is not a valid integer value"
        << "Courier New" << unset << unset << unset << unset;
    QTest::newRow("font name key on the last line") << "Width=\n5\nFontName="
                                                    << ""
                                                    << "" << unset << unset << std::optional(5) << unset;
    QTest::newRow("number key on the last line") << "FontName=\nArial\nList1.Width=\n150\nHeight=\r\n"
                                                 << "'' is not a valid integer value"
                                                 << "Arial" << unset << std::optional(150) << unset << unset;
    QTest::newRow("empty font name leaves it unset") << "FontName=\n\nFontSize=\n8"
                                                     << ""
                                                     << "" << std::optional(8) << unset << unset << unset;
    QTest::newRow("empty file") << ""
                                << ""
                                << "" << unset << unset << unset << unset;
}

void TestSettings::reading()
{
    QFETCH(QString, file);
    QFETCH(QString, error);
    QFETCH(QString, fontName);
    QFETCH(std::optional<int>, fontSize);
    QFETCH(std::optional<int>, list1Width);
    QFETCH(std::optional<int>, width);
    QFETCH(std::optional<int>, height);

    Settings settings;
    QCOMPARE(readFrom(file, settings), error);
    QCOMPARE(settings.fontName.has_value(), !fontName.isEmpty());
    if (settings.fontName)
        QCOMPARE(QString::fromStdString(cp1251::toUtf8(*settings.fontName)), fontName);
    QCOMPARE(settings.fontSize, fontSize);
    QCOMPARE(settings.list1Width, list1Width);
    QCOMPARE(settings.width, width);
    QCOMPARE(settings.height, height);
}

void TestSettings::fontName()
{
    // Cut to 31 bytes; Cyrillic names stay in the code page.
    Settings settings;
    const QString longName = "Очень длинное имя шрифта для проверки длины";
    QCOMPARE(readFrom("FontName=\r\n" + longName + "\r\n", settings), QString());
    QVERIFY(settings.fontName);
    QCOMPARE(settings.fontName->size(), kMaxFontNameLength);
    QCOMPARE(QString::fromStdString(cp1251::toUtf8(*settings.fontName)), longName.left(31));

    const std::string exact(31, 'n');
    QCOMPARE(readFrom(QString::fromStdString("FontName=\n" + exact + "\n"), settings), QString());
    QCOMPARE(settings.fontName, std::optional(exact));
    QCOMPARE(readFrom(QString::fromStdString("FontName=\n" + exact + "N\n"), settings), QString());
    QCOMPARE(settings.fontName, std::optional(exact));

    // A later empty name keeps the earlier one.
    QCOMPARE(readFrom("FontName=\nTahoma\nFontName=\n\n", settings), QString());
    QCOMPARE(settings.fontName, std::optional<std::string>("Tahoma"));
}

void TestSettings::writing()
{
    ScratchBuffer memo;
    memo.addLine("left over from before");
    SettingsValues values;
    values.fontName = cp1251::fromUtf8("Шрифт Arial");
    values.fontSize = 10;
    values.list1Width = 89;
    values.width = -5;
    values.height = 497;
    writeSettings(memo, values);

    ScratchDir dir;
    memo.saveToFile(dir.path("config.ini"));
    const std::string expected = kTitle
        + "\r\nFontName=\r\n\xD8\xF0\xE8\xF4\xF2 Arial\r\nFontSize=\r\n10\r\n"
          "List1.Width=\r\n89\r\nWidth=\r\n-5\r\nHeight=\r\n497\r\n";
    QCOMPARE(testutil::bytes(testutil::readFile(dir.path("config.ini"))), testutil::bytes(expected));
    QCOMPARE(memo.lineCount(), std::size_t(11));
}

void TestSettings::writtenFileReadsBack()
{
    SettingsValues values;
    values.fontName = cp1251::fromUtf8("Times New Roman Cyr");
    values.fontSize = 14;
    values.list1Width = 321;
    values.width = 1920;
    values.height = 1080;

    ScratchDir dir;
    ScratchBuffer memo;
    writeSettings(memo, values);
    memo.saveToFile(dir.path("config.ini"));

    ScratchBuffer again;
    again.loadFromFile(dir.path("config.ini"));
    Settings settings;
    readSettings(again, settings);
    QCOMPARE(settings.fontName, std::optional(values.fontName));
    QCOMPARE(settings.fontSize, std::optional(14));
    QCOMPARE(settings.list1Width, std::optional(321));
    QCOMPARE(settings.width, std::optional(1920));
    QCOMPARE(settings.height, std::optional(1080));
}

QTEST_APPLESS_MAIN(TestSettings)
#include "test_settings.moc"
