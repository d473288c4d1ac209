#include "ui/find_bar.h"

#include "book/address_book.h"
#include "book/text_search.h"
#include "desktop/guard.h"
#include "desktop/text.h"
#include "dialogs/entry_dialog.h"
#include "ui/line_list_model.h"
#include "ui/list_box.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace kvillo {

namespace {

// The field's background while its text is in no entry: the palette's own base tinted red, so
// that it stays readable in light and dark colour schemes alike.
QColor warningBase(const QPalette &palette)
{
    const QColor base = palette.color(QPalette::Base);
    const QColor red(255, 80, 80);
    return QColor((base.red() + red.red()) / 2, (base.green() + red.green()) / 2, (base.blue() + red.blue()) / 2);
}

QToolButton *barButton(QWidget *parent, const QString &name, const QString &tip)
{
    auto *button = new QToolButton(parent);
    button->setAccessibleName(name);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    return button;
}

} // namespace

FindBar::FindBar(Platform &platform, const AddressBook &book, ListBox *descriptions, ListBox *mails, QWidget *parent)
    : QWidget(parent)
    , m_platform(platform)
    , m_book(book)
    , m_lists{descriptions, mails}
    , m_origin(descriptions)
{
    setObjectName(QStringLiteral("FindBar"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(4);

    auto *caption = new QLabel(QStringLiteral("&Найти:"), this);
    // The editing keys (Ctrl+V, Ctrl+C, Del...) edit the text here, as in the entry dialogs.
    m_field = new DialogEdit({}, this);
    m_field->setObjectName(QStringLiteral("FindField"));
    m_field->setAccessibleName(QStringLiteral("Найти"));
    m_field->setAccessibleDescription(
        QStringLiteral("Слова из описания или адреса в любом порядке; Enter или F3 — следующая запись"));
    m_field->setClearButtonEnabled(true);
    caption->setBuddy(m_field);

    m_previous = barButton(this, QStringLiteral("Найти предыдущую"), QStringLiteral("Предыдущая (Shift+F3)"));
    m_previous->setArrowType(Qt::UpArrow);
    m_next = barButton(this, QStringLiteral("Найти следующую"), QStringLiteral("Следующая (F3)"));
    m_next->setArrowType(Qt::DownArrow);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("FindCount"));
    m_count->setAccessibleName(QStringLiteral("Найдено записей"));
    m_wrapped = new QLabel(this);
    m_wrapped->setObjectName(QStringLiteral("FindWrapped"));
    m_close = barButton(this, QStringLiteral("Закрыть поиск"), QStringLiteral("Закрыть (Esc)"));
    m_close->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));

    row->addWidget(caption);
    row->addWidget(m_field, 1);
    row->addWidget(m_previous);
    row->addWidget(m_next);
    row->addWidget(m_count);
    row->addWidget(m_wrapped, 1);
    row->addWidget(m_close);
    hide();

    connectGuarded(m_platform, m_field, &QLineEdit::textChanged, this, &FindBar::search);
    connectGuarded(m_platform, m_field, &QLineEdit::returnPressed, this, &FindBar::findNext);
    connectGuarded(m_platform, m_next, &QToolButton::clicked, this, &FindBar::findNext);
    connectGuarded(m_platform, m_previous, &QToolButton::clicked, this, &FindBar::findPrevious);
    connectGuarded(m_platform, m_close, &QToolButton::clicked, this, &FindBar::close);
    // F3 and Shift+F3 anywhere in the window while the bar is shown; Esc inside the bar.
    const auto shortcut = [this](QKeySequence key, Qt::ShortcutContext context, void (FindBar::*handler)()) {
        auto *keys = new QShortcut(key, this);
        keys->setContext(context);
        connectGuarded(m_platform, keys, &QShortcut::activated, this, handler);
    };
    shortcut(QKeySequence(Qt::Key_F3), Qt::WindowShortcut, &FindBar::findNext);
    shortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), Qt::WindowShortcut, &FindBar::findPrevious);
    shortcut(QKeySequence(Qt::Key_Escape), Qt::WidgetWithChildrenShortcut, &FindBar::close);

    for (ListBox *list : m_lists) {
        LineListModel *model = list->lineModel();
        connect(model, &QAbstractItemModel::rowsInserted, this, &FindBar::bookChanged);
        connect(model, &QAbstractItemModel::rowsRemoved, this, &FindBar::bookChanged);
        connect(model, &QAbstractItemModel::dataChanged, this, &FindBar::bookChanged);
        connect(model, &QAbstractItemModel::modelReset, this, &FindBar::bookChanged);
    }
}

void FindBar::open()
{
    QWidget *focus = QApplication::focusWidget();
    if (focus == m_lists[0] || focus == m_lists[1])
        m_origin = static_cast<ListBox *>(focus);
    show();
    m_field->setFocus(Qt::ShortcutFocusReason);
    m_field->selectAll();
    if (!m_rowsValid)
        bookChanged();
}

void FindBar::close()
{
    hide();
    m_wrapped->clear();
    m_origin->setFocus(Qt::OtherFocusReason);
}

void FindBar::updateRows()
{
    const std::optional<std::string> text = toStored(m_field->text());
    if (m_rowsValid && text == m_searched)
        return;
    const bool narrowing = m_rowsValid && !m_blank && text && m_searched && text->starts_with(*m_searched);
    m_blank = text && WordMatcher(*text).words().empty();
    if (!text || m_blank) {
        // A character the code page has not is in no entry; an empty text searches nothing.
        m_rows.clear();
    } else if (narrowing) {
        // Each word of the shorter text lies in a word of the longer: only its entries can hold it.
        m_rows = narrowRows(m_book.lists(), WordMatcher(*text), m_rows);
    } else {
        m_rows = findRows(m_book.lists(), WordMatcher(*text));
    }
    m_searched = text;
    m_rowsValid = true;
}

void FindBar::search()
{
    updateRows();
    m_wrapped->clear();
    if (m_blank) {
        m_count->clear();
        showFound(true);
        return;
    }
    if (!m_rows.empty()) {
        const int current = std::max(currentRow(), 0);
        auto found = std::lower_bound(m_rows.begin(), m_rows.end(), static_cast<std::uint32_t>(current));
        if (found == m_rows.end()) {
            found = m_rows.begin();
            m_wrapped->setText(QStringLiteral("Поиск продолжен с начала"));
        }
        select(*found);
    }
    showFound(!m_rows.empty());
    showCount();
}

void FindBar::step(int direction)
{
    updateRows();
    m_wrapped->clear();
    if (m_blank)
        return;
    showFound(!m_rows.empty());
    if (m_rows.empty()) {
        showCount();
        return;
    }
    const int current = currentRow();
    auto found = m_rows.end();
    bool wrapped = false;
    if (direction > 0) {
        found = current < 0 ? m_rows.begin()
                            : std::upper_bound(m_rows.begin(), m_rows.end(), static_cast<std::uint32_t>(current));
        wrapped = found == m_rows.end();
        if (wrapped)
            found = m_rows.begin();
    } else {
        found = current < 0 ? m_rows.end()
                            : std::lower_bound(m_rows.begin(), m_rows.end(), static_cast<std::uint32_t>(current));
        wrapped = current >= 0 && found == m_rows.begin();
        found = wrapped ? m_rows.end() - 1 : found - 1;
    }
    if (wrapped) {
        m_wrapped->setText(
            direction > 0 ? QStringLiteral("Поиск продолжен с начала") : QStringLiteral("Поиск продолжен с конца"));
    }
    select(*found);
    showCount();
}

int FindBar::currentRow() const
{
    const int row = m_origin->itemIndex();
    return row >= 0 ? row : m_lists[m_origin == m_lists[0] ? 1 : 0]->itemIndex();
}

// As a click on the row selects it: in the list the bar came from, unless that list is too short
// to have it; the list's own handler then selects the same row in the other list.
void FindBar::select(std::uint32_t row)
{
    ListBox *list = m_origin;
    if (static_cast<int>(row) >= list->lineModel()->rowCount())
        list = m_lists[m_origin == m_lists[0] ? 1 : 0];
    list->selectAsUser(static_cast<int>(row));
}

void FindBar::showCount()
{
    if (m_rows.empty()) {
        m_count->setText(QStringLiteral("Не найдено"));
        return;
    }
    const int current = currentRow();
    const auto at = std::lower_bound(m_rows.begin(), m_rows.end(), static_cast<std::uint32_t>(std::max(current, 0)));
    const QString total = QString::number(m_rows.size());
    if (current >= 0 && at != m_rows.end() && *at == static_cast<std::uint32_t>(current))
        m_count->setText(QStringLiteral("%1 из %2").arg(at - m_rows.begin() + 1).arg(total));
    else
        m_count->setText(QStringLiteral("Найдено: %1").arg(total));
}

void FindBar::showFound(bool found)
{
    QPalette colours = parentWidget() ? parentWidget()->palette() : QApplication::palette();
    if (!found)
        colours.setColor(QPalette::Base, warningBase(colours));
    m_field->setPalette(colours);
}

void FindBar::bookChanged()
{
    m_rowsValid = false;
    if (!isVisible() || m_refreshPending)
        return;
    // One search again after all the changes of a command (a Delete removes from both lists).
    m_refreshPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_refreshPending = false;
            guarded(m_platform, [this] {
                if (!isVisible() || m_rowsValid)
                    return;
                updateRows();
                if (m_blank)
                    return;
                showFound(!m_rows.empty());
                showCount();
            });
        },
        Qt::QueuedConnection);
}

} // namespace kvillo
