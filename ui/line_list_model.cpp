#include "ui/line_list_model.h"

#include "desktop/text.h"

namespace kvillo {

LineListModel::LineListModel(const AddressBook &book, ListId id, QObject *parent)
    : QAbstractListModel(parent)
    , m_book(book)
    , m_id(id)
{ }

int LineListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(list().size());
}

QVariant LineListModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || static_cast<std::size_t>(index.row()) >= list().size())
        return {};
    return fromStored(list()[static_cast<std::size_t>(index.row())]);
}

QVariant LineListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return title(m_id);
    return QAbstractListModel::headerData(section, orientation, role);
}

QString LineListModel::title(ListId id)
{
    return id == ListId::Mails ? QStringLiteral("E-mail") : QStringLiteral("Описание");
}

} // namespace kvillo
