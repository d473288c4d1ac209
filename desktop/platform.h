#pragma once

#include <QFont>
#include <QString>

#include <memory>
#include <optional>

class QDialog;
class QWidget;

namespace kvillo {

// Everything the program asks of the desktop. The program's windows talk to the desktop only
// through this interface, so tests can answer for the user.
class PrinterCanvas;

class Platform
{
public:
    enum class Buttons { Ok, OkCancel };

    virtual ~Platform() = default;

    // The default error box: stop icon, one OK button, captioned with the application title.
    virtual void showError(const QString &text) = 0;
    // A simple notice: no icon, one OK button (Enter and Esc), captioned with the application title.
    virtual void showNotice(const QString &text) = 0;
    // A message box without an icon; true when the user answers OK.
    virtual bool showMessage(const QString &caption, const QString &text, Buttons buttons) = 0;
    virtual void beep() = 0;
    // A question with Yes and No, captioned with the application title; No is the default button
    // and Esc's answer. True when the user answers Yes.
    virtual bool askYesNo(const QString &text) = 0;
    // Whether the desktop has a notification area for the program's icon right now.
    virtual bool hasNotificationArea() = 0;
    // Runs one of the program's own dialogs modally; the dialog's result.
    virtual int execDialog(QDialog &dialog) = 0;

    // File dialogs with a filter such as "Резервная копия (*.bak)|*.bak|Все файлы (*.*)|*.*";
    // an empty result means the user cancelled. The save dialog does not ask whether to replace
    // an existing file: the caller asks about the file it really writes.
    virtual std::optional<QString> saveFileName(QWidget *parent, const QString &filter, const QString &initial) = 0;
    virtual std::optional<QString> openFileName(QWidget *parent, const QString &filter, const QString &initial) = 0;
    virtual std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial) = 0;

    // Asks the desktop to open a web address or a mailto: link; false when no program could be
    // started for it.
    virtual bool openUrl(const QString &url) = 0;
    // Opens a link for the user: when it cannot be opened, an error box says so.
    void openLink(const QString &url);
    // What that box says.
    static QString linkFailure(const QString &url);
    virtual void setClipboardText(const QString &text) = 0;

    // Printing. The printer in use lasts for the run: the system's default printer until the user
    // confirms another in the print dialog.
    //
    // Opens the print dialog on the printer in use (looking up the default first, which throws
    // PrinterError "There is no default printer currently selected" when there is none); true when
    // the user confirms, and the chosen printer with its settings becomes the printer in use.
    virtual bool printDialog(QWidget *parent) = 0;
    // Begins a job on the printer in use, with an empty document name and its first page begun.
    // Throws PrinterError "Printer selected is not valid" when no job can begin there.
    virtual std::unique_ptr<PrinterCanvas> beginPrintJob() = 0;
};

} // namespace kvillo
