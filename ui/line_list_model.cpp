#include "ui/line_list_model.h"

#include "ui/text.h"

namespace kvillo {

LineListModel::LineListModel(LineList &list, QObject *parent)
    : QAbstractListModel(parent)
    , m_list(list)
{ }

int LineListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_list.size());
}

QVariant LineListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || static_cast<std::size_t>(index.row()) >= m_list.size())
        return {};
    return fromStored(m_list[static_cast<std::size_t>(index.row())]);
}

void LineListModel::append(std::string_view text)
{
    insert(rowCount(), text);
}

void LineListModel::insert(int row, std::string_view text)
{
    beginInsertRows(QModelIndex(), row, row);
    m_list.insert(static_cast<std::size_t>(row), text);
    endInsertRows();
}

void LineListModel::remove(int row)
{
    beginRemoveRows(QModelIndex(), row, row);
    m_list.remove(static_cast<std::size_t>(row));
    endRemoveRows();
}

} // namespace kvillo

namespace kvillo {

void LineListModel::replace(int row, std::string_view text)
{
    m_list.replace(static_cast<std::size_t>(row), text);
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

} // namespace kvillo
