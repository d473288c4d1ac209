#include "desktop/qt_printing.h"

#include "desktop/printer_canvas.h"
#include "desktop/text.h"
#include "sys/errors.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>

#include <optional>

namespace kvillo {

namespace {

std::unique_ptr<QPrinter> openPrinter(const QPrinterInfo &info)
{
    // The printer's own resolution, not the screen's: the report keeps its point size on any printer.
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

std::unique_ptr<QPrinter> defaultPrinter()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        throw PrinterError("There is no default printer currently selected");
    return openPrinter(info);
}

// The job options Qt's print dialog hands to CUPS: key and value in turn.
constexpr auto kCupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);

// The report always prints whole: no page range, page list or odd/even page set reaches the
// printer, whatever was chosen in a dialog.
void printWholeDocument(QPrinter &printer)
{
    printer.setPrintRange(QPrinter::AllPages);
    printer.setPageRanges(QPageRanges());
    QStringList options = printer.printEngine()->property(kCupsOptions).toStringList();
    for (qsizetype i = 0; i + 1 < options.size();) {
        if (options[i] == QLatin1String("page-ranges") || options[i] == QLatin1String("page-set"))
            options.remove(i, 2);
        else
            i += 2;
    }
    printer.printEngine()->setProperty(kCupsOptions, options);
}

// Keeps the print dialog's page range and page set choices disabled: the dialog enables them
// again as the printer changes.
class StayDisabled : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::EnabledChange && widget != nullptr && widget->isEnabled())
            widget->setEnabled(false);
        return false;
    }
};

void offerWholeDocumentOnly(QPrintDialog &dialog)
{
    auto *keeper = new StayDisabled(&dialog);
    for (const char *name : {"printRange", "from", "to", "pagesRadioButton", "pagesLineEdit", "printCurrentPage",
             "printSelection", "pageSetLabel", "pageSetCombo"}) {
        if (auto *widget = dialog.findChild<QWidget *>(QLatin1String(name))) {
            widget->setEnabled(false);
            widget->installEventFilter(keeper);
        }
    }
    if (auto *all = dialog.findChild<QAbstractButton *>(QStringLiteral("printAll")))
        all->setChecked(true);
}

} // namespace

// A job on a QPrinter: a painter over the printable area, which lies inside the printer's
// unprintable border and nothing more.
class QtPrinting::Canvas final : public PrinterCanvas
{
public:
    Canvas(QPrinter &printer, bool &running)
        : m_printer(printer)
        , m_running(running)
    { }
    ~Canvas() override { endJob(); }

    bool begin()
    {
        m_printer.setDocName(QString());
        printWholeDocument(m_printer);
        m_printer.setFullPage(false);
        m_printer.setPageMargins(m_printer.pageLayout().minimumMargins(), m_printer.pageLayout().units());
        if (!m_printer.isValid() || !m_painter.begin(&m_printer))
            return false;
        m_painter.setPen(Qt::black);
        m_running = true;
        return true;
    }

    int pageWidth() const override { return m_printer.width(); }
    int pageHeight() const override { return m_printer.height(); }
    int pixelsPerInchY() const override { return m_printer.logicalDpiY(); }

    void setFont(const std::string &face, int characterHeight) override
    {
        QFont font(QString::fromStdString(face));
        // The pixel size is the em height, the character height without internal leading.
        font.setPixelSize(characterHeight);
        font.setStyleHint(QFont::SansSerif);
        m_painter.setFont(font);
        m_metrics.emplace(m_painter.fontMetrics());
    }
    Extent measure(std::string_view text) const override
    {
        return {m_metrics->horizontalAdvance(fromStored(text)), m_metrics->height()};
    }
    int cellHeight() const override { return m_metrics->ascent() + m_metrics->descent(); }
    int averageCharWidth() const override { return m_metrics->averageCharWidth(); }

    void draw(int x, int y, std::string_view text) override
    {
        m_painter.drawText(QPoint(x, y + m_metrics->ascent()), fromStored(text));
    }
    void newPage() override
    {
        m_printer.newPage();
        // The window repaints and answers the user while the job spools.
        QCoreApplication::processEvents();
    }
    void endJob() override
    {
        if (!m_painter.isActive())
            return;
        m_painter.end();
        m_running = false;
    }

private:
    QPrinter &m_printer;
    bool &m_running;
    QPainter m_painter;
    std::optional<QFontMetrics> m_metrics;
};

QtPrinting::QtPrinting() = default;
QtPrinting::~QtPrinting() = default;

QPrinter &QtPrinting::printer()
{
    if (!m_printer)
        m_printer = defaultPrinter();
    return *m_printer;
}

void QtPrinting::setPrinter(std::unique_ptr<QPrinter> printer)
{
    if (m_jobRunning)
        throw PrinterError("Printing in progress");
    m_printer = std::move(printer);
}

bool QtPrinting::printDialog(QWidget *parent)
{
    QPrinter &current = printer();
    if (!m_jobRunning)
        return runDialog(current, parent);
    // The printer in use is busy with the running job: the dialog works on a stand-in, and its
    // confirmation cannot take effect.
    const std::unique_ptr<QPrinter> standIn = openPrinter(QPrinterInfo::printerInfo(current.printerName()));
    if (runDialog(*standIn, parent))
        throw PrinterError("Printing in progress");
    return false;
}

std::unique_ptr<QPrintDialog> QtPrinting::makeDialog(QPrinter &printer, QWidget *parent)
{
    printer.setPrintRange(QPrinter::AllPages);
    auto dialog = std::make_unique<QPrintDialog>(&printer, parent);
    dialog->setObjectName(QStringLiteral("PrintDialog1"));
    // The whole report, on a printer: no page range, selection, current page or file.
    dialog->setOptions(QAbstractPrintDialog::PrintCollateCopies | QAbstractPrintDialog::PrintShowPageSize);
    offerWholeDocumentOnly(*dialog);
    return dialog;
}

bool QtPrinting::runDialog(QPrinter &printer, QWidget *parent)
{
    return makeDialog(printer, parent)->exec() == QDialog::Accepted;
}

std::unique_ptr<PrinterCanvas> QtPrinting::beginJob()
{
    if (m_jobRunning)
        throw PrinterError("Printing in progress");
    auto canvas = std::make_unique<Canvas>(printer(), m_jobRunning);
    if (!canvas->begin())
        throw PrinterError("Printer selected is not valid");
    return canvas;
}

} // namespace kvillo
