#pragma once

#include <memory>

class QWidget;

namespace kvillo {

class PrinterCanvas;

// The printer in use and its print jobs, on Qt's printing.
class QtPrinting
{
public:
    QtPrinting();
    ~QtPrinting();

    bool printDialog(QWidget *parent);
    std::unique_ptr<PrinterCanvas> beginJob();
};

} // namespace kvillo
