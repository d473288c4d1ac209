#include "testing/fake_canvas.h"
#include "testing/fake_platform.h"

#include "book/address_book.h"
#include "book/scratch_buffer.h"
#include "desktop/addresses.h"
#include "desktop/application.h"
#include "desktop/printer_canvas.h"
#include "desktop/qt_printing.h"
#include "print/print_command.h"
#include "print/printer_text_device.h"
#include "sys/cp1251.h"
#include "sys/errors.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using kvillo::PrinterCanvas;
using kvillo::QtPrinting;

namespace {

// The print dialog answered without a window.
class ConfirmingPrinting : public QtPrinting
{
public:
    bool answer = true;
    int copies = 0;
    QList<int> copiesOffered;

protected:
    bool runDialog(QPrinter &printer, QWidget *) override
    {
        copiesOffered << printer.copyCount();
        if (answer && copies > 0)
            printer.setCopyCount(copies);
        return answer;
    }
};

// The desktop as the program sees it, with Qt's printing behind the print operations.
class PrintingPlatform : public FakePlatform
{
public:
    ConfirmingPrinting printing;
    int pages = 0;

    bool printDialog(QWidget *parent) override
    {
        log << QStringLiteral("print-dialog");
        return printing.printDialog(parent);
    }
    std::unique_ptr<PrinterCanvas> beginPrintJob() override
    {
        return std::make_unique<PageCounter>(printing.beginJob(), pages);
    }
};

std::unique_ptr<QPrinter> pdfPrinter(const QString &file, int dpi)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(file);
    printer->setResolution(dpi);
    return printer;
}

kvillo::BookLists sampleBook(int entries)
{
    static const char *const names[]
        = {"Иван Петров", "Анна Сергеевна Кузнецова", "Ёлка и Щука", "Office", "Пётр (работа)"};
    kvillo::BookLists book;
    for (int i = 0; i < entries; ++i) {
        book.descriptions.append(kvillo::cp1251::fromUtf8(std::string(names[i % 5]) + " " + std::to_string(i)));
        book.mails.append("user" + std::to_string(i) + "@example.ru");
    }
    return book;
}

QStringList reportLines(const kvillo::BookLists &book)
{
    QStringList lines{
        QStringLiteral("Напечатано программой Kvillo 2.1 (") + kvillo::addresses::helpPage() + QLatin1Char(')'),
        QString(27, QLatin1Char('-')), QStringLiteral("ОПИСАНИЯ ------ E-MAIL"), QString(78, QLatin1Char('-'))};
    for (std::size_t i = 0; i < book.mails.size(); ++i)
        lines << QString::fromStdString(kvillo::cp1251::toUtf8(book.descriptions[i])) + QStringLiteral(" --- ")
                + QString::fromStdString(std::string(book.mails[i]));
    lines << QString(79, QLatin1Char('-'));
    return lines;
}

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The text of a PDF file, one non-empty line each, spaces run together.
QStringList pdfLines(const QString &file)
{
    QStringList lines;
    const QString text = run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), file, QStringLiteral("-")});
    for (const QString &line : text.split(QRegularExpression(QStringLiteral("[\n\f]")))) {
        if (!line.simplified().isEmpty())
            lines << line.simplified();
    }
    return lines;
}

int pdfPages(const QString &file)
{
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(run(QStringLiteral("pdfinfo"), {file}));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

bool havePoppler()
{
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

QSet<int> jobsOf(const QString &queue, const QString &which)
{
    QSet<int> ids;
    const QString listing = run(QStringLiteral("lpstat"), {QStringLiteral("-W"), which, QStringLiteral("-o"), queue});
    const QRegularExpression id(QRegularExpression::escape(queue) + QStringLiteral("-(\\d+)\\s"));
    for (auto it = id.globalMatch(listing); it.hasNext();)
        ids.insert(it.next().captured(1).toInt());
    return ids;
}

QString threw(const std::function<void()> &action)
{
    try {
        action();
    } catch (const kvillo::Error &e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

// The test queue, when it is the default printer; otherwise the test skips (and fails under CI,
// where the real queue must have been tested) and the result is empty.
QString testQueue()
{
    const QString queue = qEnvironmentVariable("KVILLO_TEST_PRINTER", QStringLiteral("KvilloPDF"));
    const bool ci = qEnvironmentVariable("CI") == QLatin1String("true");
    if (QPrinterInfo::defaultPrinter().printerName() != queue) {
        if (ci)
            QTest::qFail("the test queue is not the default printer under CI", __FILE__, __LINE__);
        else
            QTest::qSkip("the test queue is not the default printer (run tools/cups start)", __FILE__, __LINE__);
        return {};
    }
    if (!havePoppler()) {
        if (ci)
            QTest::qFail("pdftotext and pdfinfo (poppler-utils) are missing under CI", __FILE__, __LINE__);
        else
            QTest::qSkip("pdftotext and pdfinfo (poppler-utils) are not installed", __FILE__, __LINE__);
        return {};
    }
    return queue;
}

// The one job sent to `queue` since `before`, once the queue has finished it; -1 when none came.
int completedJob(const QString &queue, const QSet<int> &before)
{
    QElapsedTimer waited;
    waited.start();
    while ((jobsOf(queue, QStringLiteral("all")) - before).isEmpty() && waited.elapsed() < 30000)
        QTest::qWait(100);
    const QSet<int> added = jobsOf(queue, QStringLiteral("all")) - before;
    if (added.isEmpty())
        return -1;
    const int job = *added.begin();
    while (!jobsOf(queue, QStringLiteral("completed")).contains(job) && waited.elapsed() < 150000)
        QTest::qWait(100);
    return jobsOf(queue, QStringLiteral("completed")).contains(job) ? job : -1;
}

// What the printer made of a job: the PDF file cups-pdf wrote, after the job's options were
// applied; empty when there is none.
QString printedOutput(int job)
{
    const QFileInfoList outputs = QDir(QDir::homePath() + QStringLiteral("/PDF"))
                                      .entryInfoList({QStringLiteral("*job_%1*").arg(job)}, QDir::Files);
    return outputs.isEmpty() ? QString() : outputs.first().filePath();
}

// A printer as the print dialog leaves it when a page range and an odd/even page set were
// chosen: the range in the printer and the same choices as options for CUPS.
class RangeChoosingPrinting : public QtPrinting
{
protected:
    bool runDialog(QPrinter &printer, QWidget *) override
    {
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(1, 1);
        const auto cupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);
        printer.printEngine()->setProperty(cupsOptions,
            printer.printEngine()->property(cupsOptions).toStringList()
                + QStringList{QStringLiteral("page-ranges"), QStringLiteral("1-1"), QStringLiteral("page-set"),
                    QStringLiteral("odd")});
        return true;
    }
};

class RangePlatform : public FakePlatform
{
public:
    RangeChoosingPrinting printing;
    int pages = 0;

    bool printDialog(QWidget *parent) override { return printing.printDialog(parent); }
    std::unique_ptr<PrinterCanvas> beginPrintJob() override
    {
        return std::make_unique<PageCounter>(printing.beginJob(), pages);
    }
};

} // namespace

class TestQtPrinting : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { kvillo::prepareApplication(*qApp); }

    // The report keeps its size in points on printers of any resolution, and the printed text is
    // the report, line by line, on the pages the layout counted.
    void pdfAtResolutions()
    {
        QTemporaryDir dir;
        const kvillo::BookLists book = sampleBook(80);
        QList<double> cellPoints;
        QList<double> titlePoints;
        for (const int dpi : {300, 600, 1200}) {
            const QString file = dir.filePath(QStringLiteral("report-%1.pdf").arg(dpi));
            PrintingPlatform platform;
            platform.printing.setPrinter(pdfPrinter(file, dpi));
            kvillo::ScratchBuffer memo;
            kvillo::printAddressList(nullptr, platform, memo, book, {});
            QVERIFY(!platform.printing.jobRunning());
            QVERIFY(QFileInfo(file).size() > 0);

            platform.printing.setPrinter(pdfPrinter(dir.filePath(QStringLiteral("metrics.pdf")), dpi));
            auto canvas = platform.printing.beginJob();
            QCOMPARE(canvas->pixelsPerInchY(), dpi);
            canvas->setFont("MS Sans Serif", kvillo::PrinterTextDevice::characterHeight(dpi));
            cellPoints << canvas->cellHeight() * 72.0 / dpi;
            titlePoints << canvas->measure(kvillo::cp1251::fromUtf8("ОПИСАНИЯ")).width * 72.0 / dpi;
            canvas->endJob();

            if (!havePoppler())
                continue;
            QCOMPARE(pdfLines(file), reportLines(book));
            QCOMPARE(pdfPages(file), platform.pages);
            QVERIFY(platform.pages > 1);
        }
        for (int i = 1; i < cellPoints.size(); ++i) {
            QVERIFY2(qAbs(cellPoints[i] - cellPoints[0]) < 0.5, qPrintable(QString::number(cellPoints[i])));
            QVERIFY2(qAbs(titlePoints[i] - titlePoints[0]) < 0.02 * titlePoints[0],
                qPrintable(QString::number(titlePoints[i])));
        }
        // 10 points of character height, plus the face's internal leading.
        QVERIFY(cellPoints[0] > 10 && cellPoints[0] < 14);
        if (!havePoppler())
            QSKIP("pdftotext and pdfinfo (poppler-utils) are not installed: the PDF text was not read back");
    }

    // Waiting events run between pages, so the window repaints during a long job.
    void eventsRunWhileSpooling()
    {
        QTemporaryDir dir;
        PrintingPlatform platform;
        platform.printing.setPrinter(pdfPrinter(dir.filePath(QStringLiteral("a.pdf")), 300));
        bool ranDuringJob = false;
        QTimer::singleShot(0, [&] { ranDuringJob = platform.printing.jobRunning(); });
        kvillo::ScratchBuffer memo;
        kvillo::printAddressList(nullptr, platform, memo, sampleBook(80), {});
        QVERIFY(platform.pages > 1);
        QVERIFY(ranDuringJob);
    }

    void oneJobAtATime()
    {
        QTemporaryDir dir;
        ConfirmingPrinting printing;
        printing.setPrinter(pdfPrinter(dir.filePath(QStringLiteral("a.pdf")), 300));
        QPrinter *const inUse = &printing.printer();
        auto job = printing.beginJob();
        QVERIFY(printing.jobRunning());
        QCOMPARE(threw([&] { printing.beginJob(); }), QStringLiteral("Printing in progress"));
        // Confirming the dialog during a job fails and leaves the printer in use alone.
        printing.copies = 4;
        QCOMPARE(threw([&] { printing.printDialog(nullptr); }), QStringLiteral("Printing in progress"));
        printing.answer = false;
        QCOMPARE(threw([&] { QVERIFY(!printing.printDialog(nullptr)); }), QString());
        QCOMPARE(&printing.printer(), inUse);
        QCOMPARE(inUse->copyCount(), 1);
        job->endJob();
        QVERIFY(!printing.jobRunning());
        job = printing.beginJob();
        job.reset(); // a canvas dropped without endJob still ends its job
        QVERIFY(!printing.jobRunning());
    }

    // The choice confirmed in the dialog is what the next dialog opens on; a cancelled one changes
    // nothing.
    void confirmedChoiceIsKept()
    {
        QTemporaryDir dir;
        ConfirmingPrinting printing;
        printing.setPrinter(pdfPrinter(dir.filePath(QStringLiteral("a.pdf")), 300));
        printing.copies = 3;
        QVERIFY(printing.printDialog(nullptr));
        printing.copies = 5;
        printing.answer = false;
        QVERIFY(!printing.printDialog(nullptr));
        printing.answer = true;
        printing.copies = 0;
        QVERIFY(printing.printDialog(nullptr));
        QCOMPARE(printing.copiesOffered, QList<int>({1, 3, 3}));
    }

    void printerThatCannotBegin()
    {
        ConfirmingPrinting printing;
        printing.setPrinter(pdfPrinter(QStringLiteral("/nonexistent/kvillo/report.pdf"), 300));
        QCOMPARE(threw([&] { printing.beginJob(); }), QStringLiteral("Printer selected is not valid"));
        QVERIFY(!printing.jobRunning());
    }

    // Run with no print system reachable (see printing_tests.cmake).
    void noDefaultPrinter()
    {
        if (!QPrinterInfo::defaultPrinter().isNull())
            QSKIP("a default printer is installed");
        ConfirmingPrinting printing;
        QCOMPARE(threw([&] { printing.printDialog(nullptr); }),
            QStringLiteral("There is no default printer currently selected"));
        QVERIFY(printing.copiesOffered.isEmpty());
        QCOMPARE(threw([&] { printing.beginJob(); }), QStringLiteral("There is no default printer currently selected"));
    }

    // The print dialog offers the whole report only: its page range, page list, current page,
    // selection and odd/even choices stay disabled, whichever printer is chosen in it.
    void dialogOffersNoPageRange()
    {
        QTemporaryDir dir;
        const auto printer = pdfPrinter(dir.filePath(QStringLiteral("a.pdf")), 300);
        printer->setPrintRange(QPrinter::PageRange);
        const auto dialog = QtPrinting::makeDialog(*printer, nullptr);
        dialog->show();
        const QStringList names{QStringLiteral("printRange"), QStringLiteral("from"), QStringLiteral("to"),
            QStringLiteral("pagesRadioButton"), QStringLiteral("pagesLineEdit"), QStringLiteral("printCurrentPage"),
            QStringLiteral("printSelection"), QStringLiteral("pageSetCombo")};
        auto *printers = dialog->findChild<QComboBox *>(QStringLiteral("printers"));
        QVERIFY(printers != nullptr);
        for (int index = 0; index < printers->count(); ++index) {
            printers->setCurrentIndex(index);
            for (const QString &name : names) {
                auto *choice = dialog->findChild<QWidget *>(name);
                QVERIFY2(choice != nullptr, qPrintable(name));
                QVERIFY2(!choice->isEnabled(), qPrintable(name + " on " + printers->currentText()));
                choice->setEnabled(true); // as the dialog does when it updates its widgets
                QVERIFY2(!choice->isEnabled(), qPrintable(name));
            }
            QVERIFY(dialog->findChild<QAbstractButton *>(QStringLiteral("printAll"))->isChecked());
        }
        QCOMPARE(dialog->printRange(), QAbstractPrintDialog::AllPages);
    }

    // A page range and page set left in the printer by a dialog never reach the job: the queue
    // prints every page of a three-page report.
    void rangeNeverReachesTheQueue()
    {
        const QString queue = testQueue();
        if (queue.isEmpty())
            return;
        const QSet<int> before = jobsOf(queue, QStringLiteral("all"));
        RangePlatform platform;
        kvillo::ScratchBuffer memo;
        kvillo::printAddressList(nullptr, platform, memo, sampleBook(200), {});
        QCOMPARE(platform.pages, 3);
        const int job = completedJob(queue, before);
        QVERIFY(job > 0);
        const QString printed = printedOutput(job);
        QVERIFY2(!printed.isEmpty(), "the cups-pdf output cannot be read");
        QCOMPARE(pdfPages(printed), 3);
    }

    // The whole path: the address book printed on the default printer, a cups-pdf queue set up by
    // tools/cups, and read back from what the queue received.
    void cupsQueue_data()
    {
        QTest::addColumn<int>("entries");
        QTest::newRow("5 entries") << 5;
        QTest::newRow("150 entries") << 150;
    }
    void cupsQueue()
    {
        QFETCH(int, entries);
        const QString queue = testQueue();
        if (queue.isEmpty())
            return;

        const QSet<int> before = jobsOf(queue, QStringLiteral("all"));
        const kvillo::BookLists book = sampleBook(entries);
        PrintingPlatform platform;
        kvillo::ScratchBuffer memo;
        kvillo::printAddressList(nullptr, platform, memo, book, {});
        QCOMPARE(platform.printing.printer().printerName(), queue);

        const int job = completedJob(queue, before);
        QVERIFY(job > 0);

        // What the queue received: the spool file CUPS keeps, or, where it is not readable, what
        // cups-pdf made of it.
        QString received = QStringLiteral("/var/spool/cups/d%1-001").arg(job, 5, 10, QLatin1Char('0'));
        if (!QFileInfo(received).isReadable()) {
            received = printedOutput(job);
            QVERIFY2(!received.isEmpty(), "neither the spool file nor the cups-pdf output can be read");
        }
        QCOMPARE(pdfLines(received), reportLines(book));
        QCOMPARE(pdfPages(received), platform.pages);
        QCOMPARE(platform.pages > 1, entries > 100);
    }
};

QTEST_MAIN(TestQtPrinting)
#include "test_qt_printing.moc"
