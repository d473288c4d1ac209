#include "ui/qt_platform.h"

#include "ui/application.h"
#include "ui/printer_canvas.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QUrl>

namespace kvillo {

namespace {

bool runBox(QMessageBox::Icon icon, const QString &caption, const QString &text, Platform::Buttons buttons)
{
    QMessageBox box(icon, caption, text,
                    buttons == Platform::Buttons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(buttons == Platform::Buttons::OkCancel ? QMessageBox::Cancel : QMessageBox::Ok);
    // Plain text: a file name or an entry must never be read as markup.
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Ok;
}

// "Резервная копия (*.bak)|*.bak|Все файлы (*.*)|*.*" as Qt's "Резервная копия (*.bak);;Все файлы (*.*)".
QString qtFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        entries << parts[i];
    return entries.join(QStringLiteral(";;"));
}

std::optional<QString> fileDialog(QWidget *parent, const QString &filter, const QString &initial, bool save)
{
    QFileDialog dialog(parent, QString(), QString(), qtFilter(filter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (!initial.isEmpty())
        dialog.selectFile(initial);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace

QtPlatform::QtPlatform()
    : m_printing(std::make_unique<QtPrinting>())
{
}

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
    runBox(QMessageBox::Critical, applicationTitle(), text, Buttons::Ok);
}

void QtPlatform::showNotice(const QString &text)
{
    runBox(QMessageBox::NoIcon, applicationTitle(), text, Buttons::Ok);
}

bool QtPlatform::showMessage(const QString &caption, const QString &text, Buttons buttons)
{
    return runBox(QMessageBox::NoIcon, caption, text, buttons);
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
    return fileDialog(parent, filter, initial, true);
}

std::optional<QString> QtPlatform::openFileName(QWidget *parent, const QString &filter, const QString &initial)
{
    return fileDialog(parent, filter, initial, false);
}

std::optional<QFont> QtPlatform::chooseFont(QWidget *parent, const QFont &initial)
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, initial, parent);
    if (!ok)
        return std::nullopt;
    return font;
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
