#pragma once

#include "book/address_book.h"

#include <QAbstractListModel>
#include <QScopeGuard>

namespace kvillo {

// Shows one list of the address book in a list view. The document owns the strings; the model
// only turns rows into text on screen and tells the view about the changes the window makes.
class LineListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    LineListModel(const AddressBook &book, ListId id, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // The list's column is titled as its section of the window's header.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The title of a list's column: "Описание", "E-mail".
    static QString title(ListId id);

    const LineList &list() const { return m_book.lists().list(m_id); }

    // Each runs `change`, the document's change of this list, inside the view's notice of it.
    // What `change` throws goes on to the caller.
    template <typename Change> void inserting(int row, Change &&change)
    {
        beginInsertRows(QModelIndex(), row, row);
        const auto end = qScopeGuard([this] { endInsertRows(); });
        change();
    }
    template <typename Change> void removing(int row, Change &&change)
    {
        beginRemoveRows(QModelIndex(), row, row);
        const auto end = qScopeGuard([this] { endRemoveRows(); });
        change();
    }
    template <typename Change> void replacing(int row, Change &&change)
    {
        change();
        const QModelIndex changed = index(row);
        emit dataChanged(changed, changed, {Qt::DisplayRole});
    }
    // The whole list replaced (a load); a failing `fill` leaves the list as it was.
    template <typename Fill> void resetting(Fill &&fill)
    {
        beginResetModel();
        const auto end = qScopeGuard([this] { endResetModel(); });
        fill();
    }

private:
    const AddressBook &m_book;
    ListId m_id;
};

// A window's two list models as the document's views: each is told of the rows the document
// changes in its list, around the change, and of the list read anew.
class ListModels : public ListViews
{
public:
    ListModels(LineListModel &descriptions, LineListModel &mails)
        : m_models{&descriptions, &mails}
    { }

    void inserting(ListId id, long long row, const Change &change) override
    {
        model(id).inserting(static_cast<int>(row), change);
    }
    void removing(ListId id, long long row, const Change &change) override
    {
        model(id).removing(static_cast<int>(row), change);
    }
    void replacing(ListId id, long long row, const Change &change) override
    {
        model(id).replacing(static_cast<int>(row), change);
    }
    void resetting(ListId id, const Change &change) override { model(id).resetting(change); }

private:
    LineListModel &model(ListId id) const { return *m_models[static_cast<int>(id)]; }

    LineListModel *m_models[2];
};

} // namespace kvillo
