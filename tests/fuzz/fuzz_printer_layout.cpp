// The layout of printed text: whatever the text and the printer's metrics, the layout ends, uses
// a number of pages bounded by the text, and draws no run that overruns the page but a single
// character too wide for any line.

#include "desktop/printer_canvas.h"
#include "print/printer_text_device.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// What the layout did to the printer; it outlives the printer, which the job deletes.
struct Record
{
    long pages = 1;
    long measures = 0;
    long draws = 0;
    bool ended = false;
};

// A printer whose page and character widths come from the input.
class Canvas : public kvillo::PrinterCanvas
{
public:
    explicit Canvas(Record &record)
        : done(record)
    { }

    Record &done;
    int width = 0;
    int height = 0;
    int ppi = 300;
    int cell = 0;
    int average = 0;
    std::array<int, 256> widths{};

    int pageWidth() const override { return width; }
    int pageHeight() const override { return height; }
    int pixelsPerInchY() const override { return ppi; }
    void setFont(const std::string &, int) override { }
    Extent measure(std::string_view text) const override
    {
        ++done.measures;
        return {widthOf(text), cell};
    }
    int cellHeight() const override { return cell; }
    int averageCharWidth() const override { return average; }
    void draw(int x, int, std::string_view text) override
    {
        ++done.draws;
        check(!text.empty());
        check(x >= 0 && (x + widthOf(text) <= width || (x == 0 && text.size() == 1)));
    }
    void newPage() override { ++done.pages; }
    void endJob() override { done.ended = true; }

private:
    int widthOf(std::string_view text) const
    {
        int w = 0;
        for (const char ch : text)
            w += widths[static_cast<unsigned char>(ch)];
        return w;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Record record;
    auto owned = std::make_unique<Canvas>(record);
    Canvas &canvas = *owned;
    canvas.width = input.ConsumeIntegralInRange(1, 5000);
    canvas.height = input.ConsumeIntegralInRange(1, 7000);
    canvas.ppi = input.ConsumeIntegralInRange(72, 2400);
    canvas.cell = input.ConsumeIntegralInRange(0, 300);
    canvas.average = input.ConsumeIntegralInRange(0, 200);
    const int wide = input.ConsumeIntegralInRange(0, 10000);
    for (int b = 0; b < 256; ++b)
        canvas.widths[b] = b == static_cast<unsigned char>(wide) ? wide : b % 13;

    std::size_t length = 0;
    std::size_t breaks = 0;
    std::size_t writes = 0;
    {
        kvillo::PrinterTextDevice device;
        device.open([&owned] { return std::unique_ptr<kvillo::PrinterCanvas>(std::move(owned)); });
        device.setFont();
        while (input.remaining_bytes() > 0) {
            const std::string piece = input.ConsumeRandomLengthString(512);
            length += piece.size();
            for (const char ch : piece)
                breaks += ch == '\n' || ch == '\f' || ch == '\t';
            device.write(piece);
            ++writes;
        }
        device.close();
        check(!kvillo::PrinterTextDevice::printing());
    }
    check(record.ended);
    // A new page comes from a form feed or a new line; a new line from a line feed, a tab past
    // the edge, or a run broken after at least one character.
    check(record.pages <= 1 + 2 * static_cast<long>(length + breaks + 1));
    check(record.draws <= static_cast<long>(length));
    // Breaking a run bisects it: a handful of measurements for each character at most.
    check(record.measures <= 40 * static_cast<long>(length + breaks + writes + 1));
    return 0;
}
