#pragma once

#include <string>
#include <string_view>

namespace kvillo {

// What laying out text on a printer needs of it. Plain C++, so the layout can be tested with a
// canvas of fixed metrics. Lengths are device pixels; text is Windows-1251 bytes.
class PrinterCanvas
{
public:
    struct Extent
    {
        int width = 0;
        int height = 0;
    };

    virtual ~PrinterCanvas() = default;

    // The printable area and the vertical resolution, read when the job begins.
    virtual int pageWidth() const = 0;
    virtual int pageHeight() const = 0;
    virtual int pixelsPerInchY() const = 0;

    // Selects the printer font: its face and its character height in device pixels.
    virtual void setFont(const std::string &face, int characterHeight) = 0;
    virtual Extent measure(std::string_view text) const = 0;
    // Ascent plus descent of the font, without external leading.
    virtual int cellHeight() const = 0;
    virtual int averageCharWidth() const = 0;

    // Draws with the top-left corner of the first character cell at (x, y).
    virtual void draw(int x, int y, std::string_view text) = 0;
    // Ends the current page and begins the next.
    virtual void newPage() = 0;
    // Ends the open page and the document.
    virtual void endJob() = 0;
};

} // namespace kvillo
