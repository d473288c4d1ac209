#pragma once

#include <QHeaderView>

namespace kvillo {

// The header over the two lists. A screen reader finds in it one column header per section,
// named with the section's text, where the header view alone shows it none.
class ColumnHeader : public QHeaderView
{
    Q_OBJECT
public:
    explicit ColumnHeader(QWidget *parent = nullptr);
};

} // namespace kvillo
