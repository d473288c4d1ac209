#pragma once

#include "book/settings.h"

#include <QFont>
#include <QSize>

#include <optional>
#include <string>

namespace kvillo {

class AddressBook;

// The main window's settings (config/config.ini of the book): read at start-up, applied by the
// window as this value says, written back at close. A value the window cannot show as stored (a
// size beyond the screen, a font size no font has, a list width the lists cannot take) is shown
// as it can be; while the user leaves it as shown, a close writes it back exactly as it was read.
class WindowSettings
{
public:
    // The outer size of a window whose settings set none.
    static constexpr QSize kDefaultSize{701, 497};
    // The largest font the lists take from the settings: the largest size the font dialog lists, a
    // row of about 110 pixels at 96 dots per inch, so that several rows still fit the lists of a
    // window on a screen 600 pixels high. A larger font leaves the lists looking empty.
    static constexpr int kMaxFontPoints = 72;


    // Reads the book's settings file (the path is the book's layout's). Throws when the file cannot
    // be read, and at the first value that is not an integer: what was read before that value
    // counts as read.
    void read(AddressBook &book);

    // `font` (a list's) with the name and the size the lists take: those the user chose in the
    // font dialog, else those of the file. A name or a size that is not set, or a size no font
    // has, leaves the font's own; a stored size above kMaxFontPoints gives kMaxFontPoints.
    QFont listFont(QFont font) const;
    // What the font dialog offers: the font last chosen in it, else the file's name and size.
    QFont dialogFont() const;
    // The width of the descriptions list, as the file sets it.
    std::optional<int> list1Width() const { return m_stored.list1Width; }
    // The outer size the window takes: the stored one within the screen's `available` size and
    // not below the window's `minimum`; the default where the file sets none.
    QSize outerSize(QSize minimum, QSize available) const;

    // What the window shows of the stored values once it has applied them.
    void fontApplied(const QFont &listFont);
    void list1WidthApplied(int width);
    void sizeApplied(QSize outer);
    // The user chose `font` in the font dialog: the lists take it, and their size is written from
    // now on.
    void fontChosen(const QFont &font);

    // Writes the book's settings file for a window that shows the
    // lists in `listFont`, the descriptions list `list1Width` wide, at the outer size `outer`:
    // each value as stored while the window shows it as applied, else as the window shows it.
    void write(AddressBook &book, const QFont &listFont, int list1Width, QSize outer) const;

private:
    SettingsValues valuesToWrite(const QFont &listFont, int list1Width, QSize outer) const;

    Settings m_stored;
    // The font last chosen in the dialog.
    std::optional<QFont> m_chosen;
    // What the window showed of the stored values when it applied them; empty until then. The
    // font size is empty again once a font is chosen: the user's size is written from then on.
    std::optional<int> m_fontSizeAsApplied;
    std::optional<int> m_list1WidthAsApplied;
    std::optional<QSize> m_sizeAsApplied;
};

} // namespace kvillo
