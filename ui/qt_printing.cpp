#include "ui/qt_printing.h"

#include "data/errors.h"
#include "ui/printer_canvas.h"

namespace kvillo {

QtPrinting::QtPrinting() = default;
QtPrinting::~QtPrinting() = default;

bool QtPrinting::printDialog(QWidget *)
{
    throw PrinterError("There is no default printer currently selected");
}

std::unique_ptr<PrinterCanvas> QtPrinting::beginJob()
{
    throw PrinterError("Printer selected is not valid");
}

} // namespace kvillo
