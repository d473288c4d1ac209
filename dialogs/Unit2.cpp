#include "dialogs/Unit2.h"

#include "book/version.h"
#include "desktop/addresses.h"
#include "desktop/application.h"
#include "desktop/guard.h"
#include "desktop/icons.h"
#include "desktop/platform.h"

#include <QAccessibleWidget>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace kvillo {

namespace {

const QColor kLinkColour(0, 0, 255);
const QColor kHoverColour(255, 0, 0);

template <typename Label = QLabel> Label *label(QWidget *parent, const char *name, const QString &text, int x, int y)
{
    auto *result = new Label(text, parent);
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

// A link as a screen reader sees it: named with its text, with "press" to open it.
class LinkAccessible : public QAccessibleWidget
{
public:
    explicit LinkAccessible(LinkLabel *link)
        : QAccessibleWidget(link, QAccessible::Link)
    { }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return link()->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.linked = true;
        return state;
    }
    QStringList actionNames() const override { return QStringList{pressAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString &name) override
    {
        // Later, as a button's press is: the screen reader's call returns before a box opens.
        if (name == pressAction())
            QMetaObject::invokeMethod(link(), &LinkLabel::activate, Qt::QueuedConnection);
        else
            QAccessibleWidget::doAction(name);
    }

private:
    LinkLabel *link() const { return static_cast<LinkLabel *>(widget()); }
};

QAccessibleInterface *linkFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(LinkLabel::staticMetaObject.className()) && object->isWidgetType())
        return new LinkAccessible(static_cast<LinkLabel *>(object));
    return nullptr;
}

} // namespace

LinkLabel::LinkLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    static const bool installed = (QAccessible::installFactory(&linkFactory), true);
    Q_UNUSED(installed);
    // Tab reaches it; a click leaves the focus where it was.
    setFocusPolicy(Qt::TabFocus);
}

void LinkLabel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        activate();
        return;
    }
    QLabel::keyPressEvent(event);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    // A click is the left button's; the others do nothing here.
    event->accept();
    if (event->button() == Qt::LeftButton)
        activate();
}

void LinkLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    QStylePainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.backgroundColor = palette().color(QPalette::Window);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

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
    icon->setAccessibleName(QStringLiteral("Значок программы"));

    label(panel, "ProductName", QStringLiteral("Название: Kvillo"), 88, 16);
    label(panel, "Version", QStringLiteral("Версия: " KVILLO_VERSION), 88, 40);
    label(panel, "Copyright", QStringLiteral("Автор: ") + addresses::author(), 8, 80);
    label(panel, "Comments", QStringLiteral("Описание: Адресная книга"), 8, 104);
    label(panel, "Label1", QStringLiteral("Сайт:"), 8, 136);
    Label2 = label<LinkLabel>(panel, "Label2", addresses::site(), 56, 136);
    label(panel, "Label3", QStringLiteral("e-mail:"), 8, 168);
    Label4 = label<LinkLabel>(panel, "Label4", addresses::supportMail(), 56, 168);
    for (QLabel *link : {Label2, Label4}) {
        setTextColour(link, kLinkColour);
        link->setCursor(Qt::PointingHandCursor);
        link->setMouseTracking(true);
        link->installEventFilter(this);
    }
    connectGuarded(m_platform, Label2, &LinkLabel::activated, this, &TAboutBox::Label2Click);
    connectGuarded(m_platform, Label4, &LinkLabel::activated, this, &TAboutBox::Label4Click);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(111, 212, 75, 25);
    OKButton->setFont(windowsFont(8));
    OKButton->setDefault(true);
    connectGuarded(m_platform, OKButton, &QPushButton::clicked, this, &TAboutBox::OKButtonClick);
    // The box opens on OK, so Enter closes it; Tab goes to the links and back.
    setTabOrder(Label2, Label4);
    setTabOrder(Label4, OKButton);
    OKButton->setFocus();
}

void TAboutBox::Label2Click()
{
    m_platform.openLink(addresses::site());
}

void TAboutBox::Label4Click()
{
    m_platform.openLink(QStringLiteral("mailto:") + addresses::supportMail());
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
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutBox::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    centreOnScreen(this);
}

} // namespace kvillo
