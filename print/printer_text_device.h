#pragma once

#include <functional>
#include <memory>
#include <string_view>

namespace kvillo {

class PrinterCanvas;

// A text stream bound to a printer: places each line on the page, breaks lines that are too wide
// and begins new pages by itself. Lengths are device pixels; text is Windows-1251 bytes.
//
// Layout of a written piece: a run is the characters since the last control character; LF draws
// the run and begins a new line, CR draws it and keeps the position, FF draws it and begins a new
// page, TAB draws it and moves to the next tab stop (8 average characters apart). A run that does
// not fit is broken after its last character that fits and goes on at the left edge of the next
// line. Lines with text lie (text height + 2) apart, empty lines one character cell.
class PrinterTextDevice
{
public:
    using JobStarter = std::function<std::unique_ptr<PrinterCanvas>()>;

    // The report font: the scratch buffer's 13-pixel face taken at 96 pixels per inch, 10 points.
    static constexpr const char *kFontFace = "MS Sans Serif";
    static constexpr int kFontPixels = 13;
    static constexpr int kScreenPixelsPerInch = 96;
    static int pointSize();
    // The character height in printer pixels for `pixelsPerInch`: 42 at 300, 83 at 600.
    static int characterHeight(int pixelsPerInch);

    PrinterTextDevice() = default;
    PrinterTextDevice(const PrinterTextDevice &) = delete;
    PrinterTextDevice &operator=(const PrinterTextDevice &) = delete;
    // A job still open (an error interrupted the writing) is ended here.
    ~PrinterTextDevice();

    // Whether a job is printing. There is at most one job at a time in the program.
    static bool printing();

    // Begins a job through `beginJob`, which begins the document and its first page. Throws
    // PrinterError "Printing in progress" while a job is printing (before `beginJob` is called);
    // whatever `beginJob` throws leaves the program idle.
    void open(const JobStarter &beginJob);
    // Selects the report font; between open and the first write.
    void setFont();
    void write(std::string_view text);
    // Ends the open page and the job.
    void close();

    bool isOpen() const { return m_canvas != nullptr; }
    int x() const { return m_x; }
    int y() const { return m_y; }
    int lineHeight() const { return m_lineHeight; }

private:
    void drawRun(std::string_view run);
    void newLine();
    void newPage();
    void tab();

    std::unique_ptr<PrinterCanvas> m_canvas;
    int m_x = 0;
    int m_y = 0;
    int m_lineHeight = 0;
    int m_width = 0;
    int m_height = 0;
};

} // namespace kvillo
