#pragma once

#include <QElapsedTimer>
#include <QTableView>

#include <string>

namespace kvillo {

class LineListModel;

// A single-selection list of one column of the address book. It tells when the user (not the
// program) changes the selection, and selects by typed prefix like a classic list box.
//
// Only while it has the keyboard focus does the list have a current item: a list that shows the
// entry chosen in another shows it by its selection alone, so that a screen reader hears of one
// focused item, in the list the user is in. The current item comes back with the focus.
//
// Rows of one height are laid out by arithmetic: adding or removing an entry costs the same
// with ten entries as with a million. (A list view lays out every row again on each change.)
class ListBox : public QTableView
{
    Q_OBJECT
public:
    explicit ListBox(LineListModel *model, QWidget *parent = nullptr);

    LineListModel *lineModel() const { return m_model; }

    // The selected row, or -1.
    int itemIndex() const;
    // Selects `row`; a row the list does not have leaves it with no selection.
    void setItemIndex(int row);
    // Selects `row` as a click on it does: scrolled into view, and told as the user's choice.
    void selectAsUser(int row);

    // How long a pause starts a new typed prefix.
    static constexpr int kTypeAheadPauseMs = 500;

signals:
    // The user changed the selection: by mouse, navigation keys or typing.
    void userSelected();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyboardSearch(const QString &search) override;
    void changeEvent(QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex &index, const QEvent *event = nullptr) const override;

private:
    bool typeAhead(QKeyEvent *event);
    // Makes the selected row the current one, where the rows are.
    void takeCurrentFromSelection();
    void fitRowHeight();

    LineListModel *m_model;
    std::string m_prefix;
    QElapsedTimer m_sinceLastKey;
};

} // namespace kvillo
