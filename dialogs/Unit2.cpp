#include "dialogs/Unit2.h"

#include "book/version.h"
#include "desktop/addresses.h"
#include "desktop/application.h"
#include "desktop/guard.h"
#include "desktop/icons.h"
#include "desktop/platform.h"

#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

namespace kvillo {

namespace {

const QColor kLinkColour(0, 0, 255);
const QColor kHoverColour(255, 0, 0);

QLabel *label(QWidget *parent, const char *name, const QString &text, int x, int y)
{
    auto *result = new QLabel(text, parent);
    result->setObjectName(QString::fromLatin1(name));
    result->setFont(windowsFont(10));
    result->setTextFormat(Qt::PlainText);
    result->move(x, y);
    result->setFixedHeight(16);
    result->adjustSize();
    result->setFixedHeight(16);
    return result;
}

void setTextColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    // The links keep their colours; on a dark colour scheme they get a light ground to be read on.
    if (palette.color(QPalette::Window).lightness() < 128) {
        palette.setColor(QPalette::Window, Qt::white);
        label->setAutoFillBackground(true);
    }
    label->setPalette(palette);
}

} // namespace

TAboutBox::TAboutBox(Platform &platform, QWidget *parent)
    : QDialog(parent,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowCloseButtonHint)
    , m_platform(platform)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("О программе"));
    setFixedSize(298, 250);
    setModal(true);

    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(8, 8, 281, 193);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setLineWidth(1);
    panel->setMidLineWidth(1);

    auto *icon = new QLabel(panel);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setGeometry(16, 16, 49, 41);
    icon->setPixmap(programIcon().pixmap(64, 64));
    icon->setScaledContents(true);

    label(panel, "ProductName", QStringLiteral("Название: Kvillo"), 88, 16);
    label(panel, "Version", QStringLiteral("Версия: " KVILLO_VERSION), 88, 40);
    label(panel, "Copyright", QStringLiteral("Автор: ") + addresses::author(), 8, 80);
    label(panel, "Comments", QStringLiteral("Описание: Адресная книга"), 8, 104);
    label(panel, "Label1", QStringLiteral("Сайт:"), 8, 136);
    Label2 = label(panel, "Label2", addresses::site(), 56, 136);
    label(panel, "Label3", QStringLiteral("e-mail:"), 8, 168);
    Label4 = label(panel, "Label4", addresses::supportMail(), 56, 168);
    for (QLabel *link : {Label2, Label4}) {
        setTextColour(link, kLinkColour);
        link->setCursor(Qt::PointingHandCursor);
        link->setMouseTracking(true);
        link->installEventFilter(this);
    }

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 212, 75, 25);
    OKButton->setFont(windowsFont(8));
    OKButton->setDefault(true);
    connectGuarded(m_platform, OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);
}

void TAboutBox::Label2Click()
{
    m_platform.openUrl(addresses::site());
}

void TAboutBox::Label4Click()
{
    m_platform.openUrl(QStringLiteral("mailto:") + addresses::supportMail());
}

void TAboutBox::OKButtonClick()
{
    accept();
}

bool TAboutBox::eventFilter(QObject *watched, QEvent *event)
{
    auto *link = qobject_cast<QLabel *>(watched);
    if (link == Label2 || link == Label4) {
        switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::Enter:
            setTextColour(link, kHoverColour);
            break;
        case QEvent::Leave:
            setTextColour(link, kLinkColour);
            break;
        case QEvent::MouseButtonRelease:
            // A click is the left button's; the others do nothing here.
            if (static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton)
                return true;
            guarded(m_platform, [this, link] { link == Label2 ? Label2Click() : Label4Click(); });
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::keyPressEvent(QKeyEvent *event)
{
    // Esc does not close this dialog; Enter presses OK.
    if (event->key() == Qt::Key_Escape)
        return;
    QDialog::keyPressEvent(event);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    centreOnScreen(this);
}

} // namespace kvillo
