#include "print/print_command.h"

#include "book/scratch_buffer.h"
#include "desktop/platform.h"
#include "desktop/printer_canvas.h"
#include "print/printer_text_device.h"
#include "print/report.h"

namespace kvillo {

void printAddressList(QWidget *owner, Platform &platform, ScratchBuffer &memo, const BookLists &book,
    const std::function<void()> &onConfirmed)
{
    buildReport(memo, book);
    if (!platform.printDialog(owner))
        return;
    if (onConfirmed)
        onConfirmed();

    const ScratchBuffer report = memo;
    PrinterTextDevice device; // ends the job if anything below throws
    device.open([&platform] { return platform.beginPrintJob(); });
    device.setFont();
    const std::size_t count = report.lineCount();
    for (std::size_t i = 0; i < count; ++i) {
        device.write(report.line(i));
        device.write("\n");
    }
    device.close();
}

} // namespace kvillo
