#include "ui/list_panel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTableView>

#include <algorithm>

namespace kvillo {

namespace {

// The line shown while dragging: a hatched bar over the lists.
class DragLine : public QWidget
{
public:
    explicit DragLine(QWidget *parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QBrush(palette().color(QPalette::WindowText), Qt::Dense4Pattern));
    }
};

} // namespace

Splitter::Splitter(ListPanel *panel)
    : QWidget(panel)
    , m_panel(panel)
{
    setObjectName(QStringLiteral("Splitter1"));
    setCursor(Qt::SplitHCursor);
    setFocusPolicy(Qt::NoFocus);
}

int Splitter::widthFor(int panelX) const
{
    const int maximum = m_panel->width() - kWidth - kMinimum;
    int width = std::min(panelX, maximum);
    if (width <= kMinimum)
        width = 0;
    return std::max(width, 0);
}

void Splitter::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_grabOffset = event->position().toPoint().x();
    m_dragWidth = m_panel->shownLeftWidth();
    if (m_line == nullptr)
        m_line = new DragLine(m_panel);
    m_line->setGeometry(m_dragWidth, 0, kWidth, m_panel->height());
    m_line->show();
    m_line->raise();
    grabKeyboard();
}

void Splitter::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragWidth < 0)
        return;
    const int panelX = mapTo(m_panel, event->position().toPoint()).x() - m_grabOffset;
    m_dragWidth = widthFor(panelX);
    m_line->move(m_dragWidth, 0);
}

void Splitter::mouseReleaseEvent(QMouseEvent *event)
{
    if (m_dragWidth < 0 || event->button() != Qt::LeftButton)
        return;
    finish(true);
}

void Splitter::keyPressEvent(QKeyEvent *event)
{
    if (m_dragWidth >= 0 && event->key() == Qt::Key_Escape) {
        finish(false);
        return;
    }
    QWidget::keyPressEvent(event);
}

void Splitter::finish(bool apply)
{
    releaseKeyboard();
    m_line->hide();
    const int width = m_dragWidth;
    m_dragWidth = -1;
    if (apply)
        m_panel->setLeftWidth(width);
    emit moved();
}

void Splitter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
}

ListPanel::ListPanel(QWidget *left, QWidget *right, QWidget *parent)
    : QWidget(parent)
    , m_left(left)
    , m_right(right)
    , m_splitter(new Splitter(this))
{
    left->setParent(this);
    right->setParent(this);
    // A list's rows grow with its font, and so does the room the lists need.
    left->installEventFilter(this);
    right->installEventFilter(this);
    place();
}

void ListPanel::setLeftWidth(int width)
{
    m_leftWidth = std::max(width, 0);
    place();
}

int ListPanel::shownLeftWidth(int width, int panelWidth)
{
    return std::max(std::min(width, panelWidth - Splitter::kWidth - Splitter::kMinimum), 0);
}

int ListPanel::rightWidth() const
{
    return std::max(width() - shownLeftWidth() - Splitter::kWidth, 0);
}

QSize ListPanel::minimumSizeHint() const
{
    int height = 0;
    for (const QWidget *list : {m_left, m_right}) {
        const auto *view = qobject_cast<const QTableView *>(list);
        const int row = view ? view->verticalHeader()->defaultSectionSize() : list->fontMetrics().height();
        const int frame = view ? 2 * view->frameWidth() : 0;
        height = std::max(height, kMinimumRows * row + frame);
    }
    return {Splitter::kWidth + Splitter::kMinimum, height};
}

void ListPanel::resizeEvent(QResizeEvent *)
{
    place();
}

bool ListPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        updateGeometry();
    return QWidget::eventFilter(watched, event);
}

// Like left-aligned and client-aligned controls: the left list keeps its width whatever the
// panel's, and the right list takes what remains, but never less than a drag leaves it.
void ListPanel::place()
{
    const int h = height();
    const int left = shownLeftWidth();
    m_left->setGeometry(0, 0, left, h);
    m_splitter->setGeometry(left, 0, Splitter::kWidth, h);
    m_right->setGeometry(left + Splitter::kWidth, 0, rightWidth(), h);
}

} // namespace kvillo
