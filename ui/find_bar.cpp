#include "ui/find_bar.h"

#include "book/address_book.h"
#include "book/text_search.h"
#include "desktop/guard.h"
#include "desktop/text.h"
#include "dialogs/entry_dialog.h"
#include "ui/line_list_model.h"
#include "ui/list_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace kvillo {

namespace {

// How many entries a search goes through at most between looks at the clock; the search for the
// entry to select starts with fewer, since a common word is found near the start.
constexpr std::size_t kStretch = 8192;
constexpr std::size_t kFirstStretch = 1024;
// How long a time slice of the count lasts before the window takes its events again.
constexpr qint64 kSliceNs = 3'000'000;

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

    m_counting = new QTimer(this);
    m_counting->setSingleShot(true);
    m_counting->setInterval(0);
    connectGuarded(m_platform, m_counting, &QTimer::timeout, this, &FindBar::countOn);
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
    // Each word of the shorter text lies in a word of the longer: only its entries can hold it.
    const bool narrowing = m_rowsValid && !m_search && !m_blank && text && m_searched && text->starts_with(*m_searched);
    m_blank = text && WordMatcher(*text).words().empty();
    m_start = static_cast<std::uint32_t>(std::max(currentRow(), 0));
    m_search.reset();
    if (!text || m_blank) {
        // A character the code page has not is in no entry; an empty text searches nothing.
        m_rows.clear();
    } else if (narrowing) {
        m_search.emplace(WordMatcher(*text), m_start, std::move(m_rows));
        m_rows.clear();
    } else {
        m_search.emplace(m_book.lists(), WordMatcher(*text), m_start);
    }
    m_searched = text;
    m_rowsValid = true;
}

template <typename More> void FindBar::searchWhile(More &&more)
{
    std::size_t stretch = kFirstStretch;
    while (m_search && more()) {
        if (m_search->advance(m_book.lists(), stretch)) {
            m_rows = m_search->rows();
            m_search.reset();
        }
        stretch = std::min(stretch * 2, kStretch);
    }
    if (m_search)
        m_counting->start();
}

std::optional<std::uint32_t> FindBar::nextFound(std::uint32_t row, bool after)
{
    // The search goes from `m_start` to the end, then from the first entry: its order.
    const auto distance = [this](std::uint32_t r) { return static_cast<std::uint32_t>(r - m_start); };
    const auto beyond
        = [&](std::uint32_t r) { return after ? distance(r) > distance(row) : distance(r) >= distance(row); };
    std::optional<std::uint32_t> found;
    searchWhile([&] {
        const std::vector<std::uint32_t> &rows = m_search->found();
        const auto next = std::partition_point(rows.begin(), rows.end(), [&](std::uint32_t r) { return !beyond(r); });
        if (next != rows.end())
            found = *next;
        return !found;
    });
    if (found || m_rows.empty())
        return found;
    const auto next = after ? std::upper_bound(m_rows.begin(), m_rows.end(), row)
                            : std::lower_bound(m_rows.begin(), m_rows.end(), row);
    return next == m_rows.end() ? m_rows.front() : *next;
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
    const auto current = static_cast<std::uint32_t>(std::max(currentRow(), 0));
    const std::optional<std::uint32_t> found = nextFound(current, false);
    if (found) {
        if (*found < current)
            m_wrapped->setText(QStringLiteral("Поиск продолжен с начала"));
        select(*found);
    }
    showFound(found.has_value());
    showCount();
}

void FindBar::step(int direction)
{
    updateRows();
    m_wrapped->clear();
    if (m_blank)
        return;
    const int current = currentRow();
    std::optional<std::uint32_t> found;
    bool wrapped = false;
    if (direction > 0) {
        found = nextFound(static_cast<std::uint32_t>(std::max(current, 0)), current >= 0);
        wrapped = found && current >= 0 && *found <= static_cast<std::uint32_t>(current);
    } else {
        searchWhile([] { return true; });
        if (!m_rows.empty()) {
            auto at = current < 0 ? m_rows.end()
                                  : std::lower_bound(m_rows.begin(), m_rows.end(), static_cast<std::uint32_t>(current));
            wrapped = current >= 0 && at == m_rows.begin();
            found = wrapped ? m_rows.back() : *(at - 1);
        }
    }
    showFound(found.has_value());
    if (found) {
        if (wrapped) {
            m_wrapped->setText(
                direction > 0 ? QStringLiteral("Поиск продолжен с начала") : QStringLiteral("Поиск продолжен с конца"));
        }
        select(*found);
    }
    showCount();
}

void FindBar::countOn()
{
    if (!m_search)
        return;
    QElapsedTimer clock;
    clock.start();
    searchWhile([&] { return clock.nsecsElapsed() < kSliceNs; });
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
    if (m_search) {
        // Still counting: how many so far.
        m_count->setText(QStringLiteral("Найдено: %1…").arg(m_search->found().size()));
        return;
    }
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
    m_search.reset();
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
                showFound(nextFound(m_start, false).has_value());
                showCount();
            });
        },
        Qt::QueuedConnection);
}

} // namespace kvillo
