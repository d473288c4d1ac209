#include "ui/qt_platform.h"

#include "print/printer_canvas.h"
#include "ui/application.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QUrl>

namespace kvillo {

namespace {

// "Резервная копия (*.bak)|*.bak|Все файлы (*.*)|*.*" as Qt's "Резервная копия (*.bak);;Все файлы (*.*)".
QString qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        entries << parts[i];
    return entries.join(QStringLiteral(";;"));
}

bool runBox(bool stopIcon, const QString &caption, const QString &text, Platform::Buttons buttons)
{
    return QtPlatform::makeMessageBox(stopIcon, caption, text, buttons)->exec() == QMessageBox::Ok;
}

std::optional<QString> runFileDialog(QWidget *parent, const QString &filter, const QString &initial, bool save)
{
    const auto dialog = QtPlatform::makeFileDialog(parent, filter, initial, save);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return dialog->selectedFiles().constFirst();
}

} // namespace

std::unique_ptr<QMessageBox> QtPlatform::makeMessageBox(
    bool stopIcon, const QString &caption, const QString &text, Buttons buttons)
{
    auto box = std::make_unique<QMessageBox>(stopIcon ? QMessageBox::Critical : QMessageBox::NoIcon, caption, text,
        buttons == Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok);
    box->setWindowModality(Qt::ApplicationModal);
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(buttons == Buttons::OkCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    // Plain text: a file name or an entry must never be read as markup.
    box->setTextFormat(Qt::PlainText);
    return box;
}

std::unique_ptr<QFileDialog> QtPlatform::makeFileDialog(
    QWidget *parent, const QString &filter, const QString &initial, bool save)
{
    auto dialog = std::make_unique<QFileDialog>(parent, QString(), QString(), qtFilter(filter));
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::AnyFile);
    // Qt's own dialog, in the program's language whatever the desktop's.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (!initial.isEmpty())
        dialog->selectFile(initial);
    return dialog;
}

std::unique_ptr<QFontDialog> QtPlatform::makeFontDialog(QWidget *parent, const QFont &initial)
{
    auto dialog = std::make_unique<QFontDialog>(initial, parent);
    dialog->setOption(QFontDialog::DontUseNativeDialog);
    return dialog;
}

QtPlatform::QtPlatform()
    : m_printing(std::make_unique<QtPrinting>())
{ }

QtPlatform::~QtPlatform() = default;

bool QtPlatform::printDialog(QWidget *parent)
{
    return m_printing->printDialog(parent);
}

std::unique_ptr<PrinterCanvas> QtPlatform::beginPrintJob()
{
    return m_printing->beginJob();
}

void QtPlatform::showError(const QString &text)
{
    runBox(true, applicationTitle(), text, Buttons::Ok);
}

void QtPlatform::showNotice(const QString &text)
{
    runBox(false, applicationTitle(), text, Buttons::Ok);
}

bool QtPlatform::showMessage(const QString &caption, const QString &text, Buttons buttons)
{
    return runBox(false, caption, text, buttons);
}

void QtPlatform::beep()
{
    QApplication::beep();
}

int QtPlatform::execDialog(QDialog &dialog)
{
    return dialog.exec();
}

std::optional<QString> QtPlatform::saveFileName(QWidget *parent, const QString &filter, const QString &initial)
{
    return runFileDialog(parent, filter, initial, true);
}

std::optional<QString> QtPlatform::openFileName(QWidget *parent, const QString &filter, const QString &initial)
{
    return runFileDialog(parent, filter, initial, false);
}

std::optional<QFont> QtPlatform::chooseFont(QWidget *parent, const QFont &initial)
{
    const auto dialog = makeFontDialog(parent, initial);
    if (dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog->selectedFont();
}

void QtPlatform::openUrl(const QString &url)
{
    QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

void QtPlatform::setClipboardText(const QString &text)
{
    QApplication::clipboard()->setText(text);
}

} // namespace kvillo
