#include "ui/column_header.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>

#include <vector>

namespace kvillo {

namespace {

// One section of the header, as a column header.
class SectionAccessible : public QAccessibleInterface
{
public:
    SectionAccessible(QHeaderView *header, int section)
        : m_header(header)
        , m_section(section)
    { }

    bool isValid() const override { return m_header && m_section < m_header->count(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_header ? m_header->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_header); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
    void setText(QAccessible::Text, const QString &) override { }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name || !isValid() || m_header->model() == nullptr)
            return {};
        return m_header->model()->headerData(m_section, m_header->orientation(), Qt::DisplayRole).toString();
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect local(m_header->sectionViewportPosition(m_section), 0, m_header->sectionSize(m_section),
            m_header->viewport()->height());
        return local.translated(m_header->viewport()->mapToGlobal(QPoint(0, 0)));
    }

    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.invisible = !isValid() || !m_header->isVisible() || m_header->isSectionHidden(m_section)
            || m_header->sectionSize(m_section) == 0;
        return state;
    }

private:
    QPointer<QHeaderView> m_header;
    int m_section;
};

// The header and its sections; the sections' interfaces are made when first asked for and
// live as long as the header's.
class HeaderAccessible : public QAccessibleWidget
{
public:
    explicit HeaderAccessible(QHeaderView *header)
        : QAccessibleWidget(header, QAccessible::Grouping)
    { }

    ~HeaderAccessible() override
    {
        for (const QAccessible::Id id : m_sections) {
            if (id != 0)
                QAccessible::deleteAccessibleInterface(id);
        }
    }

    int childCount() const override { return header()->count(); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (m_sections.size() <= static_cast<std::size_t>(index))
            m_sections.resize(static_cast<std::size_t>(index) + 1, 0);
        QAccessible::Id &id = m_sections[static_cast<std::size_t>(index)];
        if (id == 0)
            id = QAccessible::registerAccessibleInterface(new SectionAccessible(header(), index));
        return QAccessible::accessibleInterface(id);
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (std::size_t i = 0; i < m_sections.size(); ++i) {
            if (m_sections[i] != 0 && QAccessible::accessibleInterface(m_sections[i]) == child)
                return static_cast<int>(i);
        }
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint local = header()->viewport()->mapFromGlobal(QPoint(x, y));
        if (!header()->viewport()->rect().contains(local))
            return nullptr;
        return child(header()->logicalIndexAt(local));
    }

private:
    QHeaderView *header() const { return static_cast<QHeaderView *>(widget()); }

    mutable std::vector<QAccessible::Id> m_sections;
};

QAccessibleInterface *headerFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(ColumnHeader::staticMetaObject.className()) && object->isWidgetType())
        return new HeaderAccessible(static_cast<ColumnHeader *>(object));
    return nullptr;
}

} // namespace

ColumnHeader::ColumnHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    static const bool installed = (QAccessible::installFactory(&headerFactory), true);
    Q_UNUSED(installed);
}

} // namespace kvillo
