#include "desktop/qt_platform.h"

#include "desktop/application.h"
#include "desktop/printer_canvas.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFontDialog>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QMessageBox>
#include <QSystemTrayIcon>
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

// "*.*" lists every file, those without a dot in their names too, as the filter does on Windows.
void matchEveryNameWithStarDotStar(QFileDialog *dialog)
{
    auto *model = dialog->findChild<QFileSystemModel *>();
    if (model == nullptr)
        return;
    QStringList patterns = model->nameFilters();
    const qsizetype starDotStar = patterns.indexOf(QStringLiteral("*.*"));
    if (starDotStar < 0)
        return;
    patterns[starDotStar] = QStringLiteral("*");
    model->setNameFilters(patterns);
}

// The file list as Qt's file dialog shows it, with sizes and dates written in the program's
// locale (Qt writes them in the system's, which may be English).
class LocalFileDetails : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const QVariant shown = QIdentityProxyModel::data(index, role);
        auto *files = qobject_cast<QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || files == nullptr || shown.toString().isEmpty())
            return shown;
        const QFileInfo info = files->fileInfo(mapToSource(index));
        switch (index.column()) {
        case 1:
            return QLocale().formattedDataSize(info.size());
        case 3:
            return QLocale().toString(info.lastModified(), QLocale::ShortFormat);
        default:
            return shown;
        }
    }
};

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

std::unique_ptr<QMessageBox> QtPlatform::makeQuestionBox(const QString &text)
{
    auto box = std::make_unique<QMessageBox>(
        QMessageBox::Question, applicationTitle(), text, QMessageBox::Yes | QMessageBox::No);
    box->setWindowModality(Qt::ApplicationModal);
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
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
    // The program writes another file than the one chosen (a backup adds ".bak"), and asks itself.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, save);
    dialog->setProxyModel(new LocalFileDetails(dialog.get()));
    // The dialog applies a chosen filter before it tells of the choice.
    QFileDialog *const raw = dialog.get();
    QObject::connect(raw, &QFileDialog::filterSelected, raw, [raw] { matchEveryNameWithStarDotStar(raw); });
    matchEveryNameWithStarDotStar(raw);
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

bool QtPlatform::askYesNo(const QString &text)
{
    return makeQuestionBox(text)->exec() == QMessageBox::Yes;
}

bool QtPlatform::hasNotificationArea()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
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

bool QtPlatform::openUrl(const QString &url)
{
    return QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode));
}

void QtPlatform::setClipboardText(const QString &text)
{
    QApplication::clipboard()->setText(text);
}

} // namespace kvillo
