// bench_print [ENTRIES]
//
// Times printing an address book of ENTRIES entries (default 100,000; descriptions of about 30
// characters, half of them Cyrillic, and addresses of about 25):
//   report    building the report in the scratch buffer;
//   layout    the print command after the dialog, on a canvas of fixed metrics (A4 at 300 pixels
//             per inch, characters 10 pixels wide), which is the layout's own cost;
//   pdf       the same on a real QPrinter writing a PDF file at 1,200 pixels per inch (Qt's
//             printer resolution), with the pages and bytes of the file.
// Run it with QT_QPA_PLATFORM=offscreen where there is no display.

#include "testing/fake_canvas.h"
#include "testing/fake_platform.h"

#include "book/address_book.h"
#include "book/scratch_buffer.h"
#include "desktop/application.h"
#include "desktop/qt_printing.h"
#include "print/print_command.h"
#include "print/report.h"
#include "sys/cp1251.h"

#include <QApplication>
#include <QFileInfo>
#include <QPrinter>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double seconds(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

kvillo::BookLists makeBook(long entries)
{
    const std::string cyrillic = kvillo::cp1251::fromUtf8("Сидоров Пётр Ильич, отдел ");
    kvillo::BookLists book;
    for (long i = 0; i < entries; ++i) {
        const std::string n = std::to_string(i);
        book.descriptions.append((i % 2 ? cyrillic : std::string("Customer account number ")) + n);
        book.mails.append("person." + n + "@mail.example.ru");
    }
    return book;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    kvillo::prepareApplication(app);
    const long entries = argc > 1 ? std::atol(argv[1]) : 100000;
    const kvillo::BookLists book = makeBook(entries);
    kvillo::ScratchBuffer memo;

    const double report = seconds([&] { kvillo::buildReport(memo, book); });
    std::printf("entries %ld: report of %zu lines, %zu bytes, built in %.3f s\n", entries, memo.lineCount(),
        memo.text().size(), report);

    FakePlatform fake;
    int fakePages = 0;
    fake.makeCanvas = [&] {
        auto canvas = std::make_unique<FakeCanvas>();
        canvas->width = 2400;
        canvas->height = 3400;
        return std::make_unique<PageCounter>(std::move(canvas), fakePages);
    };
    const double layout = seconds([&] { kvillo::printAddressList(nullptr, fake, memo, book, [] {}); });
    std::printf("layout on a fixed-metrics canvas: %.3f s (report included), %d pages\n", layout, fakePages);

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("report.pdf"));
    kvillo::QtPrinting printing;
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(file);
    printing.setPrinter(std::move(printer));
    FakePlatform pdf;
    int pdfPages = 0;
    pdf.makeCanvas = [&] { return std::make_unique<PageCounter>(printing.beginJob(), pdfPages); };
    const double pdfSeconds = seconds([&] { kvillo::printAddressList(nullptr, pdf, memo, book, [] {}); });
    std::printf("layout and PDF at %d dpi: %.3f s (report included), %d pages, %lld bytes\n",
        printing.printer().resolution(), pdfSeconds, pdfPages, static_cast<long long>(QFileInfo(file).size()));
    return 0;
}
