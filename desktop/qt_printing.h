#pragma once

#include <memory>

class QPrintDialog;
class QPrinter;
class QWidget;

namespace kvillo {

class PrinterCanvas;

// The printer in use and its print jobs, on Qt's printing.
//
// The printer in use lasts for the run: none at first, the system's default when one is first
// needed, then whatever the user confirms in the print dialog, with its settings (the number of
// copies included: the printer makes the copies). Jobs print in the printable area inside the
// printer's unprintable border, and let the program's waiting events run at every page.
// The canvases of its jobs must not outlive this object.
class QtPrinting
{
public:
    QtPrinting();
    virtual ~QtPrinting();

    // Opens the print dialog on the printer in use; true when confirmed, and the choice becomes the
    // printer in use. Throws PrinterError "There is no default printer currently selected" before
    // any dialog when no printer is in use and the system has no default; "Printing in progress"
    // when confirmed while a job is running (the printer in use stays as it was).
    bool printDialog(QWidget *parent);
    // Begins a job on the printer in use with an empty document name, its first page begun.
    // Throws PrinterError "Printing in progress" while a job is running and "Printer selected is
    // not valid" when the printer cannot begin one.
    std::unique_ptr<PrinterCanvas> beginJob();

    // The printer in use, looked up as for the dialog.
    QPrinter &printer();
    // Makes `printer` the printer in use (a PDF file, for instance).
    void setPrinter(std::unique_ptr<QPrinter> printer);
    bool jobRunning() const { return m_jobRunning; }

    // The print dialog on `printer`, with the choices the program offers.
    static std::unique_ptr<QPrintDialog> makeDialog(QPrinter &printer, QWidget *parent);

protected:
    // Runs the dialog modally on `printer`; true when the user confirms. The confirmed settings
    // are left in `printer`.
    virtual bool runDialog(QPrinter &printer, QWidget *parent);

private:
    class Canvas;

    std::unique_ptr<QPrinter> m_printer;
    bool m_jobRunning = false;
};

} // namespace kvillo
