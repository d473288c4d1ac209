#include "ui/list_box.h"

#include "desktop/text.h"
#include "ui/line_list_model.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace kvillo {

ListBox::ListBox(LineListModel *model, QWidget *parent)
    : QTableView(parent)
    , m_model(model)
{
    setModel(model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    setShowGrid(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setMinimumSize(0, 0);
    fitRowHeight();
}

// Rows as high as the list's font needs.
void ListBox::fitRowHeight()
{
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
}

// Keys move through the rows as in a list: Home and End to the first and last entry, the left
// and right arrows like up and down.
QModelIndex ListBox::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    switch (action) {
    case MoveHome:
        return m_model->rowCount() > 0 ? m_model->index(0) : QModelIndex();
    case MoveEnd:
        return m_model->rowCount() > 0 ? m_model->index(m_model->rowCount() - 1) : QModelIndex();
    case MoveLeft:
        return QTableView::moveCursor(MoveUp, modifiers);
    case MoveRight:
        return QTableView::moveCursor(MoveDown, modifiers);
    default:
        return QTableView::moveCursor(action, modifiers);
    }
}

void ListBox::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fitRowHeight();
}

int ListBox::itemIndex() const
{
    const QItemSelection selection = selectionModel()->selection();
    return selection.isEmpty() ? -1 : selection.constFirst().top();
}

void ListBox::setItemIndex(int row)
{
    if (row < 0 || row >= m_model->rowCount()) {
        selectionModel()->clear();
        return;
    }
    const QModelIndex index = m_model->index(row);
    if (hasFocus()) {
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    } else {
        selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
        selectionModel()->clearCurrentIndex();
    }
    scrollTo(index);
}

void ListBox::takeCurrentFromSelection()
{
    const int row = itemIndex();
    if (row < 0 || selectionModel()->currentIndex().row() == row)
        return;
    const bool scrolls = hasAutoScroll();
    setAutoScroll(false);
    selectionModel()->setCurrentIndex(m_model->index(row), QItemSelectionModel::NoUpdate);
    setAutoScroll(scrolls);
}

void ListBox::focusInEvent(QFocusEvent *event)
{
    takeCurrentFromSelection();
    QTableView::focusInEvent(event);
}

void ListBox::focusOutEvent(QFocusEvent *event)
{
    QTableView::focusOutEvent(event);
    selectionModel()->clearCurrentIndex();
}

void ListBox::selectAsUser(int row)
{
    setItemIndex(row);
    emit userSelected();
}

// A click, with or without Ctrl, and Ctrl+Space select; nothing the user does leaves a list with
// an item under the cursor but none selected.
QItemSelectionModel::SelectionFlags ListBox::selectionCommand(const QModelIndex &index, const QEvent *event) const
{
    const QItemSelectionModel::SelectionFlags flags = QTableView::selectionCommand(index, event);
    if (index.isValid() && (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle)))
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return flags;
}

void ListBox::keyPressEvent(QKeyEvent *event)
{
    const bool typed = typeAhead(event);
    if (typed)
        return;
    // The keys move on from the entry shown, also when they come to a list without the focus.
    takeCurrentFromSelection();
    QTableView::keyPressEvent(event);
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        emit userSelected();
        break;
    default:
        break;
    }
}

// Typing selects the first item that begins with the typed prefix. A pause of half a second or
// more starts a new prefix; Backspace takes its last character off. True when the key is consumed.
bool ListBox::typeAhead(QKeyEvent *event)
{
    const bool backspace = event->key() == Qt::Key_Backspace;
    const QString text = event->text();
    const bool character = !backspace && !text.isEmpty() && text.at(0).isPrint()
        && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (!backspace && !character)
        return false;

    if (!m_sinceLastKey.isValid() || m_sinceLastKey.elapsed() >= kTypeAheadPauseMs)
        m_prefix.clear();
    m_sinceLastKey.start();

    if (backspace) {
        if (!m_prefix.empty())
            m_prefix.pop_back();
    } else {
        // A character the list cannot hold matches no item; it still counts in the prefix.
        const std::optional<std::string> bytes = toStored(text);
        m_prefix += bytes ? *bytes : std::string(1, '\0');
    }

    const long long found = findFirstWithPrefix(m_model->list(), m_prefix);
    if (found >= 0) {
        setItemIndex(static_cast<int>(found));
        emit userSelected();
    }
    if (backspace) {
        event->ignore();
        return true;
    }
    event->accept();
    return true;
}

void ListBox::keyboardSearch(const QString &)
{
    // Typed keys are handled by typeAhead().
}

void ListBox::mousePressEvent(QMouseEvent *event)
{
    // Only the left button selects; the right one opens the context menu on the selection as it is.
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QTableView::mousePressEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit userSelected();
}

void ListBox::mouseMoveEvent(QMouseEvent *event)
{
    const int before = itemIndex();
    QTableView::mouseMoveEvent(event);
    if ((event->buttons() & Qt::LeftButton) && itemIndex() != before)
        emit userSelected();
}

} // namespace kvillo
