#pragma once

#include "data/line_list.h"

#include <QAbstractListModel>

namespace kvillo {

// Shows one list of the address book in a list view. The list owns the strings; the model only
// turns rows into text on screen and tells the view about changes.
class LineListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    LineListModel(LineList &list, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    const LineList &list() const { return m_list; }

    void append(std::string_view text);
    void insert(int row, std::string_view text);
    void remove(int row);
    void replace(int row, std::string_view text);

    // Replaces the whole list through `fill`, which may throw and then leaves the list as it was.
    template <typename Fill> void reset(Fill &&fill)
    {
        beginResetModel();
        try {
            fill(m_list);
        } catch (...) {
            endResetModel();
            throw;
        }
        endResetModel();
    }

private:
    LineList &m_list;
};

} // namespace kvillo
