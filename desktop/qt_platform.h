#pragma once

#include "desktop/platform.h"
#include "desktop/qt_printing.h"

class QFileDialog;
class QFontDialog;
class QMessageBox;

namespace kvillo {

class QtPlatform : public Platform
{
public:
    QtPlatform();
    ~QtPlatform() override;

    void showError(const QString &text) override;
    void showNotice(const QString &text) override;
    bool showMessage(const QString &caption, const QString &text, Buttons buttons) override;
    void beep() override;
    bool askYesNo(const QString &text) override;
    bool hasNotificationArea() override;
    int execDialog(QDialog &dialog) override;
    std::optional<QString> saveFileName(QWidget *parent, const QString &filter, const QString &initial) override;
    std::optional<QString> openFileName(QWidget *parent, const QString &filter, const QString &initial) override;
    std::optional<QFont> chooseFont(QWidget *parent, const QFont &initial) override;
    bool openUrl(const QString &url) override;
    void setClipboardText(const QString &text) override;
    bool printDialog(QWidget *parent) override;
    std::unique_ptr<PrinterCanvas> beginPrintJob() override;

    // The dialogs behind the calls above, for a look at them without running them.
    static std::unique_ptr<QMessageBox> makeMessageBox(
        bool stopIcon, const QString &caption, const QString &text, Buttons buttons);
    static std::unique_ptr<QMessageBox> makeQuestionBox(const QString &text);
    static std::unique_ptr<QFileDialog> makeFileDialog(
        QWidget *parent, const QString &filter, const QString &initial, bool save);
    static std::unique_ptr<QFontDialog> makeFontDialog(QWidget *parent, const QFont &initial);

private:
    std::unique_ptr<QtPrinting> m_printing;
};

} // namespace kvillo
