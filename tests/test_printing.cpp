#include "testing/fake_canvas.h"
#include "testing/fake_platform.h"

#include "book/address_book.h"
#include "book/scratch_buffer.h"
#include "desktop/addresses.h"
#include "print/print_command.h"
#include "print/printer_text_device.h"
#include "print/report.h"
#include "sys/cp1251.h"
#include "sys/errors.h"

#include <QtTest>

#include <random>

using kvillo::PrinterTextDevice;

namespace {

QByteArray repeat(char ch, int count)
{
    return QByteArray(count, ch);
}

std::string cp1251(const char *utf8)
{
    return kvillo::cp1251::fromUtf8(utf8);
}

struct Job
{
    QStringList ops;
    int pages = 0;
    int x = 0;
    int y = 0;
};

// Lays out `text` in one write on a fresh fake printer.
Job layOut(const QByteArray &text)
{
    Job job;
    int pages = 0;
    {
        PrinterTextDevice device;
        FakeCanvas *canvas = nullptr;
        device.open([&] {
            auto made = std::make_unique<FakeCanvas>(&job.ops);
            canvas = made.get();
            return made;
        });
        device.write(std::string_view(text.constData(), text.size()));
        job.x = device.x();
        job.y = device.y();
        pages = canvas->pages;
        device.close();
    }
    job.pages = pages;
    job.ops.removeLast(); // "end"
    return job;
}

kvillo::BookLists book(const std::vector<std::string> &descriptions, const std::vector<std::string> &mails)
{
    kvillo::BookLists result;
    for (const std::string &d : descriptions)
        result.descriptions.append(d);
    for (const std::string &m : mails)
        result.mails.append(m);
    return result;
}

QStringList memoLines(const kvillo::ScratchBuffer &memo)
{
    QStringList lines;
    for (std::size_t i = 0; i < memo.lineCount(); ++i)
        lines << QString::fromStdString(kvillo::cp1251::toUtf8(memo.line(i)));
    return lines;
}

QStringList framing()
{
    return {QStringLiteral("Напечатано программой Kvillo 2.1 (") + kvillo::addresses::helpPage() + QLatin1Char(')'),
        QString(27, QLatin1Char('-')), QString(), QString(),
        QStringLiteral("       ОПИСАНИЯ       ------        E-MAIL"), QString(78, QLatin1Char('-'))};
}

} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT

private slots:
    void fontHeight_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<int>("height");
        QTest::newRow("72") << 72 << 10;
        QTest::newRow("300") << 300 << 42;
        QTest::newRow("600") << 600 << 83;
        QTest::newRow("1200") << 1200 << 167;
        QTest::newRow("half rounds up") << 36 << 5; // 10 * 36 / 72 = 5 exactly
        QTest::newRow("below half") << 101 << 14; // 14.03
        QTest::newRow("at half") << 93 << 13; // 12.92
    }
    void fontHeight()
    {
        QFETCH(int, dpi);
        QFETCH(int, height);
        QCOMPARE(PrinterTextDevice::pointSize(), 10);
        QCOMPARE(PrinterTextDevice::characterHeight(dpi), height);
    }

    void layout_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("ops");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");

        QTest::newRow("a run advances x") << QByteArray("abc") << QStringList{"draw 0 0 abc"} << 30 << 0;
        QTest::newRow("CR keeps the position")
            << QByteArray("ab\rcd\r") << QStringList{"draw 0 0 ab", "draw 20 0 cd"} << 40 << 0;
        QTest::newRow("LF: text line is h + 2")
            << QByteArray("ab\ncd\n") << QStringList{"draw 0 0 ab", "draw 0 44 cd"} << 0 << 88;
        QTest::newRow("empty lines advance one cell")
            << QByteArray("\n\nab\n\n") << QStringList{"draw 0 100 ab"} << 0 << 194;
        QTest::newRow("FF begins a page at the top")
            << QByteArray("ab\nc\fd") << QStringList{"draw 0 0 ab", "draw 0 44 c", "page", "draw 0 0 d"} << 10 << 0;
        QTest::newRow("line after FF with nothing drawn is empty")
            << QByteArray("ab\f\ncd") << QStringList{"draw 0 0 ab", "page", "draw 0 50 cd"} << 20 << 50;
        QTest::newRow("tab from 0") << QByteArray("\tb") << QStringList{"draw 80 0 b"} << 90 << 0;
        QTest::newRow("tab from 50") << repeat('a', 5) + "\tb" << QStringList{"draw 0 0 aaaaa", "draw 80 0 b"} << 90
                                     << 0;
        QTest::newRow("tab from 79") << repeat('a', 7) + "iiiiiiiii\tb"
                                     << QStringList{"draw 0 0 aaaaaaaiiiiiiiii", "draw 160 0 b"} << 170 << 0;
        QTest::newRow("tab from 80") << repeat('a', 8) + "\tb" << QStringList{"draw 0 0 aaaaaaaa", "draw 160 0 b"}
                                     << 170 << 0;
        QTest::newRow("tab to the right edge stays")
            << repeat('a', 79) + "\t" << QStringList{"draw 0 0 " + QString(79, 'a')} << 800 << 0;
        QTest::newRow("tab past the right edge ends the line")
            << repeat('a', 80) + "\tb" << QStringList{"draw 0 0 " + QString(80, 'a'), "draw 0 44 b"} << 10 << 44;
        QTest::newRow("exactly the width fits")
            << repeat('a', 80) << QStringList{"draw 0 0 " + QString(80, 'a')} << 800 << 0;
        QTest::newRow("too wide: broken after the last character that fits")
            << repeat('a', 85) + "\nb" << QStringList{"draw 0 0 " + QString(80, 'a'), "draw 0 44 aaaaa", "draw 0 88 b"}
            << 10 << 88;
        QTest::newRow("a later run is broken where it stops fitting")
            << repeat('a', 75) + "\rbbbbbbbb"
            << QStringList{"draw 0 0 " + QString(75, 'a'), "draw 750 0 bbbbb", "draw 0 44 bbb"} << 30 << 44;
        QTest::newRow("a run with no room starts on the next line")
            << repeat('a', 79) + "iiiii\rW" << QStringList{"draw 0 0 " + QString(79, 'a') + "iiiii", "draw 0 44 W"}
            << 20 << 44;
        QTest::newRow("wider than the page: on a line of its own")
            << QByteArray("a#b") << QStringList{"draw 0 0 a", "draw 0 44 #", "draw 0 88 b"} << 10 << 88;
        QTest::newRow("several wider than the page")
            << QByteArray("##\n#") << QStringList{"draw 0 0 #", "draw 0 44 #", "draw 0 88 #"} << 900 << 88;
        QTest::newRow("wider than the page after a tab")
            << QByteArray("\t#") << QStringList{"draw 0 44 #"} << 900 << 44;
    }
    void layout()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, ops);
        QFETCH(int, x);
        QFETCH(int, y);
        const Job job = layOut(text);
        QCOMPARE(job.ops, ops);
        QCOMPARE(job.x, x);
        QCOMPARE(job.y, y);
    }

    void textWithoutLineEndContinues()
    {
        QStringList ops;
        PrinterTextDevice device;
        device.open([&] { return std::make_unique<FakeCanvas>(&ops); });
        device.write("ab");
        device.write("");
        device.write("cd");
        device.write("\n");
        device.write("e");
        QCOMPARE(ops, QStringList({"draw 0 0 ab", "draw 20 0 cd", "draw 0 44 e"}));
    }

    // Lines lie 44 apart and the page ends once y > 1000 - 2 * 44; empty lines 50 apart and the page
    // ends once y > 1000.
    void pageBreak_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("y");
        QTest::newRow("20 text lines") << QByteArray("a\n") << 20 << 1 << 880;
        QTest::newRow("21 text lines") << QByteArray("a\n") << 21 << 2 << 0;
        QTest::newRow("42 text lines") << QByteArray("a\n") << 42 << 3 << 0;
        QTest::newRow("20 empty lines") << QByteArray("\n") << 20 << 1 << 1000;
        QTest::newRow("21 empty lines") << QByteArray("\n") << 21 << 2 << 0;
    }
    void pageBreak()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, lines);
        QFETCH(int, pages);
        QFETCH(int, y);
        const Job job = layOut(line.repeated(lines));
        QCOMPARE(job.pages, pages);
        QCOMPARE(job.y, y);
        QCOMPARE(job.ops.count(QStringLiteral("page")), pages - 1);
        if (y == 0)
            QCOMPARE(job.ops.last(), QStringLiteral("page")); // the job ends with an empty page
    }

    void emptyLineAfterTextUsesOnlyThePageHeight()
    {
        // 20 text lines reach 880; an empty line then goes to 930 without a page (930 <= 1000).
        const Job job = layOut(QByteArray("a\n").repeated(20) + "\n");
        QCOMPARE(job.pages, 1);
        QCOMPARE(job.y, 930);
    }

    // Long runs of mixed widths break exactly where dropping one character at a time would stop,
    // with a few measurements per line rather than one per character.
    void longRunsBreakAfterTheLastFittingCharacter()
    {
        std::mt19937 random(5);
        const char alphabet[] = {'a', 'i', 'W', 'b'};
        for (int round = 0; round < 20; ++round) {
            std::string text(1 + random() % 4096, 'a');
            for (char &ch : text)
                ch = alphabet[random() % 4];
            const int start = static_cast<int>(random() % 700);
            QStringList ops;
            PrinterTextDevice device;
            FakeCanvas *canvas = nullptr;
            device.open([&] {
                auto made = std::make_unique<FakeCanvas>(&ops);
                canvas = made.get();
                return made;
            });
            device.write(std::string(start / 10, 'a') + "\r");
            ops.clear();
            canvas->measures = 0;
            device.write(text);

            ops.removeAll(QStringLiteral("page"));
            std::string rejoined;
            for (qsizetype i = 0; i < ops.size(); ++i) {
                const QStringList parts = ops[i].split(' ');
                const int x = parts[1].toInt();
                const std::string drawn = parts[3].toStdString();
                rejoined += drawn;
                int w = 0;
                for (char ch : drawn)
                    w += FakeCanvas::charWidth(ch);
                QVERIFY2(x + w <= 800, qPrintable(ops[i]));
                if (i + 1 < ops.size())
                    QVERIFY2(x + w + FakeCanvas::charWidth(text[rejoined.size()]) > 800, qPrintable(ops[i]));
            }
            QCOMPARE(rejoined, text);
            QVERIFY2(canvas->measures <= (ops.size() + 1) * 16, qPrintable(QString::number(canvas->measures)));
        }
    }

    void oneJobAtATime()
    {
        int begun = 0;
        auto starter = [&] {
            ++begun;
            return std::make_unique<FakeCanvas>();
        };
        {
            PrinterTextDevice first;
            first.open(starter);
            QVERIFY(PrinterTextDevice::printing());
            PrinterTextDevice second;
            QVERIFY_THROWS_EXCEPTION(kvillo::PrinterError, second.open(starter));
            try {
                second.open(starter);
            } catch (const kvillo::PrinterError &e) {
                QCOMPARE(e.what(), "Printing in progress");
            }
            QCOMPARE(begun, 1);
            first.close();
            QVERIFY(!PrinterTextDevice::printing());
            second.open(starter);
            QCOMPARE(begun, 2);
        }
        // Ended by the device going away.
        QVERIFY(!PrinterTextDevice::printing());

        PrinterTextDevice failed;
        QVERIFY_THROWS_EXCEPTION(kvillo::PrinterError, failed.open([]() -> std::unique_ptr<kvillo::PrinterCanvas> {
            throw kvillo::PrinterError("Printer selected is not valid");
        }));
        QVERIFY(!PrinterTextDevice::printing());
    }

    void report_data()
    {
        QTest::addColumn<std::vector<std::string>>("descriptions");
        QTest::addColumn<std::vector<std::string>>("mails");
        QTest::addColumn<QStringList>("entries");
        using Strings = std::vector<std::string>;
        QTest::newRow("empty book") << Strings{} << Strings{} << QStringList{};
        QTest::newRow("entries") << Strings{cp1251("Иван Петров"), "", "Tab\tand\fFF"}
                                 << Strings{"ivan@example.ru", "x@y.z", ""}
                                 << QStringList{"Иван Петров   ---    ivan@example.ru", "   ---    x@y.z",
                                        "Tab\tand\fFF   ---    "};
        QTest::newRow("more descriptions than mails")
            << Strings{"a", "b", "c"} << Strings{"1"} << QStringList{"a   ---    1"};
    }
    void report()
    {
        QFETCH(std::vector<std::string>, descriptions);
        QFETCH(std::vector<std::string>, mails);
        QFETCH(QStringList, entries);
        kvillo::ScratchBuffer memo;
        memo.addLine("left over");
        kvillo::buildReport(memo, book(descriptions, mails));
        QCOMPARE(memoLines(memo), framing() + entries + QStringList{QString(79, '-')});
        QCOMPARE(framing()[4].size(), 42);
    }

    void missingDescriptionStopsBeforeTheDialog()
    {
        FakePlatform platform;
        kvillo::ScratchBuffer memo;
        bool confirmed = false;
        try {
            kvillo::printAddressList(
                nullptr, platform, memo, book({"a", "b"}, {"1", "2", "3"}), [&] { confirmed = true; });
            QFAIL("no error");
        } catch (const kvillo::ListIndexError &e) {
            QCOMPARE(e.what(), "List index out of bounds (2)");
        }
        QCOMPARE(memoLines(memo), framing() + QStringList({"a   ---    1", "b   ---    2"}));
        QVERIFY(platform.log.isEmpty());
        QVERIFY(!confirmed);
    }

    void dialogNotConfirmed_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("error");
        QTest::newRow("cancelled") << false << QString();
        QTest::newRow("no default printer") << true << QStringLiteral("There is no default printer currently selected");
    }
    void dialogNotConfirmed()
    {
        QFETCH(bool, answer);
        QFETCH(QString, error);
        FakePlatform platform;
        platform.printAnswer = answer;
        platform.printDialogError = error;
        platform.makeCanvas = [] { return std::make_unique<FakeCanvas>(); };
        kvillo::ScratchBuffer memo;
        bool confirmed = false;
        try {
            kvillo::printAddressList(nullptr, platform, memo, book({"a"}, {"1"}), [&] { confirmed = true; });
            QVERIFY(error.isEmpty());
        } catch (const kvillo::PrinterError &e) {
            QCOMPARE(QString::fromUtf8(e.what()), error);
        }
        QCOMPARE(platform.log, QStringList{"print-dialog"});
        QVERIFY(!confirmed);
        QCOMPARE(memo.lineCount(), 8u);
    }

    void emptyBookPrintsOnePage()
    {
        FakePlatform platform;
        QStringList ops;
        int pages = 0;
        platform.makeCanvas = [&] {
            platform.log << "print-job begun";
            auto canvas = std::make_unique<FakeCanvas>(&ops);
            canvas->width = 100000;
            ops << "begin";
            return canvas;
        };
        kvillo::ScratchBuffer memo;
        for (int run = 0; run < 2; ++run) { // a second print in the same run prints the same
            ops.clear();
            platform.log.clear();
            kvillo::printAddressList(
                nullptr, platform, memo, kvillo::BookLists(), [&] { platform.log << "confirmed"; });
            QCOMPARE(platform.log, QStringList({"print-dialog", "confirmed", "print-job", "print-job begun"}));
            const QStringList lines = framing();
            auto bytes
                = [](const QString &s) { return QString::fromLatin1(kvillo::cp1251::fromUtf8(s.toStdString())); };
            QCOMPARE(ops,
                QStringList({"begin", "font MS Sans Serif 42", "draw 0 0 " + bytes(lines[0]), "draw 0 44 " + lines[1],
                    "draw 0 188 " + bytes(lines[4]), "draw 0 232 " + lines[5], "draw 0 276 " + QString(79, '-'),
                    "end"}));
            QCOMPARE(ops.count("page"), pages);
        }
    }

    void longLineIsCutTo4096()
    {
        FakePlatform platform;
        QStringList ops;
        platform.makeCanvas = [&] {
            auto canvas = std::make_unique<FakeCanvas>(&ops);
            canvas->width = 1000000;
            return canvas;
        };
        kvillo::ScratchBuffer memo;
        kvillo::printAddressList(nullptr, platform, memo, book({std::string(5000, 'd')}, {"m"}), {});
        const QString entry = ops[5];
        QVERIFY(entry.startsWith("draw 0 276 ddd"));
        QCOMPARE(entry.size(), QStringLiteral("draw 0 276 ").size() + 4096);
        QCOMPARE(ops[6], "draw 0 320 " + QString(79, '-'));
    }

    void failureWhileWritingEndsTheJob()
    {
        FakePlatform platform;
        QStringList ops;
        platform.makeCanvas = [&] {
            auto canvas = std::make_unique<FakeCanvas>(&ops);
            canvas->beforeDraw = [&ops] {
                if (ops.size() > 3)
                    throw kvillo::PrinterError("out of paper");
            };
            return canvas;
        };
        kvillo::ScratchBuffer memo;
        QVERIFY_THROWS_EXCEPTION(
            kvillo::PrinterError, kvillo::printAddressList(nullptr, platform, memo, book({"a"}, {"1"}), {}));
        QCOMPARE(ops.last(), QStringLiteral("end"));
        QVERIFY(!PrinterTextDevice::printing());
    }
};

QTEST_MAIN(TestPrinting)
#include "test_printing.moc"
