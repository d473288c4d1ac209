#include "print/printer_text_device.h"

#include "desktop/printer_canvas.h"
#include "sys/errors.h"

#include <algorithm>
#include <cmath>

namespace kvillo {

namespace {

// The program has one printer at a time and so one job at a time.
bool g_printing = false;

constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';
constexpr char kFormFeed = '\f';
constexpr char kTab = '\t';

bool isControl(char ch)
{
    return ch == kLineFeed || ch == kCarriageReturn || ch == kFormFeed || ch == kTab;
}

} // namespace

int PrinterTextDevice::pointSize()
{
    // Halves round away from zero, as std::lround does.
    return static_cast<int>(std::lround(kFontPixels * 72.0 / kScreenPixelsPerInch));
}

int PrinterTextDevice::characterHeight(int pixelsPerInch)
{
    return static_cast<int>(std::lround(pointSize() * static_cast<double>(pixelsPerInch) / 72.0));
}

PrinterTextDevice::~PrinterTextDevice()
{
    try {
        close();
    } catch (...) {
        // The job is over either way; nothing more can be done for it here.
    }
}

bool PrinterTextDevice::printing()
{
    return g_printing;
}

void PrinterTextDevice::open(const JobStarter &beginJob)
{
    if (g_printing)
        throw PrinterError("Printing in progress");
    std::unique_ptr<PrinterCanvas> canvas = beginJob();
    if (!canvas)
        throw PrinterError("Printer selected is not valid");
    g_printing = true;
    m_canvas = std::move(canvas);
    m_width = m_canvas->pageWidth();
    m_height = m_canvas->pageHeight();
    m_x = m_y = 0;
    m_lineHeight = 0;
}

void PrinterTextDevice::setFont()
{
    m_canvas->setFont(kFontFace, characterHeight(m_canvas->pixelsPerInchY()));
}

void PrinterTextDevice::write(std::string_view text)
{
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (!isControl(ch))
            continue;
        drawRun(text.substr(runStart, i - runStart));
        runStart = i + 1;
        switch (ch) {
        case kLineFeed:
            newLine();
            break;
        case kFormFeed:
            newPage();
            break;
        case kTab:
            tab();
            break;
        default: // CR: the position stays
            break;
        }
    }
    drawRun(text.substr(runStart));
}

void PrinterTextDevice::close()
{
    if (!m_canvas)
        return;
    std::unique_ptr<PrinterCanvas> canvas = std::move(m_canvas);
    struct Idle
    {
        ~Idle() { g_printing = false; }
    } idle;
    canvas->endJob();
}

void PrinterTextDevice::drawRun(std::string_view run)
{
    while (!run.empty()) {
        PrinterCanvas::Extent extent = m_canvas->measure(run);
        std::size_t count = run.size();
        if (m_x + extent.width > m_width) {
            // Drop characters from the end until the rest fits, or none is left. The width of a
            // prefix never shrinks as it grows, so the longest prefix that fits is found by
            // bisection; it is the one that dropping one character at a time would stop at.
            std::size_t fits = 0; // taken when nothing fits: the loop stops at no characters
            std::size_t tooWide = count;
            bool measured = false;
            while (tooWide - fits > 1) {
                const std::size_t middle = fits + (tooWide - fits) / 2;
                const PrinterCanvas::Extent e = m_canvas->measure(run.substr(0, middle));
                if (m_x + e.width > m_width) {
                    tooWide = middle;
                } else {
                    fits = middle;
                    extent = e;
                    measured = true;
                }
            }
            count = fits;
            if (count == 0 && m_x == 0) {
                // Not even one character fits on an empty line: it could never be placed, so it
                // goes at the left edge of a line of its own and the printer clips it.
                count = 1;
                extent = m_canvas->measure(run.substr(0, 1));
            } else if (!measured) {
                extent = m_canvas->measure(run.substr(0, 0));
            }
        }
        if (extent.height > m_lineHeight)
            m_lineHeight = extent.height + 2;
        if (count > 0)
            m_canvas->draw(m_x, m_y, run.substr(0, count));
        if (count < run.size()) {
            newLine();
            run.remove_prefix(count);
        } else {
            m_x += extent.width;
            run = {};
        }
    }
}

void PrinterTextDevice::newLine()
{
    m_x = 0;
    const int finished = m_lineHeight;
    m_y += finished == 0 ? m_canvas->cellHeight() : finished;
    if (m_y > m_height - 2 * finished)
        newPage();
    m_lineHeight = 0;
}

void PrinterTextDevice::newPage()
{
    m_x = m_y = 0;
    // The next page begins with a line that has nothing drawn on it yet.
    m_lineHeight = 0;
    m_canvas->newPage();
}

void PrinterTextDevice::tab()
{
    const int stop = std::max(1, 8 * m_canvas->averageCharWidth());
    m_x += stop - ((m_x + stop + 1) % stop) + 1;
    if (m_x > m_width)
        newLine();
}

} // namespace kvillo
