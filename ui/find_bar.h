#pragma once

#include "book/text_search.h"

#include <QWidget>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

namespace kvillo {

class AddressBook;
class ListBox;
class Platform;

// The find bar under the lists, hidden until asked for. Typing finds, as it is typed, the next
// entry whose description or address holds every word of the text in any order (letter case
// ignored, ё as е); Enter and F3 find the next, Shift+F3 the previous, going round the ends with a
// word that says so. The entry found is selected as a click on it in the list the bar was opened
// from selects it; a text no entry holds colours the field and leaves the selection alone. Esc
// closes the bar and gives the focus back to that list.
class FindBar : public QWidget
{
    Q_OBJECT
public:
    FindBar(
        Platform &platform, const AddressBook &book, ListBox *descriptions, ListBox *mails, QWidget *parent = nullptr);

    // Shows the bar with its text selected, from the list that has the focus (else the first).
    void open();
    // Hides the bar; the focus goes back to the list it was opened from.
    void close();
    void findNext() { step(+1); }
    void findPrevious() { step(-1); }

    QLineEdit *field() const { return m_field; }

private:
    // Searches again for the text as it now is, from the entry selected on.
    void search();
    void step(int direction);
    // Starts the search for the text as it now is, unless it has begun already: among the entries
    // found before when the text grew, else among all from the entry selected.
    void updateRows();
    // The first entry found from `row` on (after `row` when `after`), going round the end:
    // searches on only as far as needed to know it.
    std::optional<std::uint32_t> nextFound(std::uint32_t row, bool after);
    // Searches on while `more()` and the search is not finished.
    template <typename More> void searchWhile(More &&more);
    // One time slice of the count, then the window takes its events again.
    void countOn();
    void select(std::uint32_t row);
    int currentRow() const;
    void showCount();
    void showFound(bool found);
    // The book changed under the bar: the rows found must be found again.
    void bookChanged();

    Platform &m_platform;
    const AddressBook &m_book;
    ListBox *m_lists[2];
    ListBox *m_origin;
    QLineEdit *m_field;
    QToolButton *m_previous;
    QToolButton *m_next;
    QToolButton *m_close;
    QLabel *m_count;
    QLabel *m_wrapped;
    QTimer *m_counting;
    // The text searched for (stored bytes; nothing when it cannot be stored). While `m_search`
    // goes on the entries are counted between the keys; then `m_rows` holds them.
    std::optional<std::string> m_searched;
    std::optional<RowSearch> m_search;
    // The entry `m_search` started from.
    std::uint32_t m_start = 0;
    std::vector<std::uint32_t> m_rows;
    bool m_rowsValid = false;
    // The text holds no word: nothing is searched.
    bool m_blank = true;
    bool m_refreshPending = false;
};

} // namespace kvillo
