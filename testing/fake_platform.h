#pragma once

#include "desktop/platform.h"
#include "desktop/printer_canvas.h"
#include "sys/errors.h"

#include <functional>

#include <QDialog>
#include <QList>
#include <QStringList>

#include <optional>

// Answers for the user from a script and records what the program showed and asked.
class FakePlatform : public kvillo::Platform
{
public:
    // Everything shown or done, in order: "error: ...", "notice: ...", "message: caption | text", "question: ...",
    // "beep", "url: ...", "clipboard: ...", "save-dialog: initial", "open-dialog: initial", "font-dialog".
    QStringList log;
    // Answers to OK/Cancel message boxes, first first; OK when the script runs out.
    QList<bool> messageAnswers;
    // Answers to file dialogs, first first; cancel when the script runs out.
    QList<std::optional<QString>> fileAnswers;
    std::optional<QFont> fontAnswer;
    QFont lastFontOffered;
    QString lastFilter;
    QString clipboard;
    // The print dialog's answer; an exception text to throw instead (no default printer).
    bool printAnswer = true;
    QString printDialogError;
    // Makes the canvas of each print job; no job can begin without it.
    std::function<std::unique_ptr<kvillo::PrinterCanvas>()> makeCanvas;

    void showError(const QString &text) override { log << QStringLiteral("error: ") + text; }
    void showNotice(const QString &text) override { log << QStringLiteral("notice: ") + text; }
    bool showMessage(const QString &caption, const QString &text, Buttons buttons) override
    {
        log << QStringLiteral("message: %1 | %2").arg(caption, text);
        if (buttons == Buttons::Ok || messageAnswers.isEmpty())
            return true;
        return messageAnswers.takeFirst();
    }
    void beep() override { log << QStringLiteral("beep"); }
    // Answers to Yes/No questions, first first; No when the script runs out.
    QList<bool> yesNoAnswers;
    bool askYesNo(const QString &text) override
    {
        log << QStringLiteral("question: ") + text;
        return yesNoAnswers.isEmpty() ? false : yesNoAnswers.takeFirst();
    }
    // Whether the desktop has a notification area (the offscreen platform has none).
    bool notificationArea = true;
    bool hasNotificationArea() override { return notificationArea; }
    // Modal dialogs of the program are shown, handed to `onModal` (if set) and closed again.
    std::function<void(QDialog &)> onModal;
    int execDialog(QDialog &dialog) override
    {
        log << QStringLiteral("modal: ") + dialog.objectName();
        dialog.show();
        if (onModal)
            onModal(dialog);
        const int result = dialog.result();
        dialog.hide();
        return result;
    }
    std::optional<QString> saveFileName(QWidget *, const QString &filter, const QString &initial) override
    {
        lastFilter = filter;
        log << QStringLiteral("save-dialog: ") + initial;
        return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.takeFirst();
    }
    std::optional<QString> openFileName(QWidget *, const QString &filter, const QString &initial) override
    {
        lastFilter = filter;
        log << QStringLiteral("open-dialog: ") + initial;
        return fileAnswers.isEmpty() ? std::nullopt : fileAnswers.takeFirst();
    }
    std::optional<QFont> chooseFont(QWidget *, const QFont &initial) override
    {
        lastFontOffered = initial;
        log << QStringLiteral("font-dialog");
        return fontAnswer;
    }
    // Whether a program opens the links.
    bool urlsOpen = true;
    bool openUrl(const QString &url) override
    {
        log << QStringLiteral("url: ") + url;
        return urlsOpen;
    }
    void setClipboardText(const QString &text) override
    {
        clipboard = text;
        log << QStringLiteral("clipboard: ") + text;
    }
    bool printDialog(QWidget *) override
    {
        log << QStringLiteral("print-dialog");
        if (!printDialogError.isEmpty())
            throw kvillo::PrinterError(printDialogError.toStdString());
        return printAnswer;
    }
    std::unique_ptr<kvillo::PrinterCanvas> beginPrintJob() override
    {
        log << QStringLiteral("print-job");
        if (!makeCanvas)
            throw kvillo::PrinterError("Printer selected is not valid");
        return makeCanvas();
    }
};
