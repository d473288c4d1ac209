#include "desktop/window_settings.h"

#include "book/address_book.h"
#include "desktop/application.h"
#include "desktop/text.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace kvillo {

namespace {

// A stored outer length (any int) as the window can take it: within the screen's available
// length and not below the window's minimum.
int fittedLength(int stored, int minimum, int available)
{
    return std::max(minimum, std::min(stored, available));
}

// A stored value while the window shows it as applied, else what the window shows. `applied`
// empty: not applied yet, so not changed either.
template <typename T> T kept(const std::optional<T> &stored, const std::optional<T> &applied, const T &shown)
{
    return stored && (!applied || *applied == shown) ? *stored : shown;
}

} // namespace

void WindowSettings::read(AddressBook &book)
{
    book.readSettings(m_stored);
}

QFont WindowSettings::listFont(QFont font) const
{
    if (m_chosen) {
        // The file keeps 31 bytes of the name: the lists take the name that will come back.
        QString family = m_chosen->family();
        if (const std::optional<std::string> stored = toStored(family); stored && stored->size() > kMaxFontNameLength)
            family = fromStored(std::string_view(*stored).substr(0, kMaxFontNameLength));
        font.setFamily(family);
        if (m_chosen->pointSize() > 0)
            font.setPointSize(m_chosen->pointSize());
        return font;
    }
    if (m_stored.fontName)
        font.setFamily(fromStored(*m_stored.fontName));
    if (m_stored.fontSize && *m_stored.fontSize > 0)
        font.setPointSize(std::min(*m_stored.fontSize, kMaxFontPoints));
    return font;
}

QFont WindowSettings::dialogFont() const
{
    // The dialog keeps style, colour and character set of its last choice.
    return m_chosen ? *m_chosen : listFont(windowsFont(8));
}

QSize WindowSettings::outerSize(QSize minimum, QSize available) const
{
    return {m_stored.width ? fittedLength(*m_stored.width, minimum.width(), available.width()) : kDefaultSize.width(),
        m_stored.height ? fittedLength(*m_stored.height, minimum.height(), available.height()) : kDefaultSize.height()};
}

void WindowSettings::fontApplied(const QFont &listFont)
{
    m_fontSizeAsApplied = listFont.pointSize();
}

void WindowSettings::list1WidthApplied(int width)
{
    m_list1WidthAsApplied = width;
}

void WindowSettings::sizeApplied(QSize outer)
{
    m_sizeAsApplied = outer;
}

void WindowSettings::fontChosen(const QFont &font)
{
    m_chosen = font;
    m_fontSizeAsApplied.reset();
}

SettingsValues WindowSettings::valuesToWrite(const QFont &listFont, int list1Width, QSize outer) const
{
    SettingsValues values;
    values.fontName = toStored(listFont.family()).value_or(toStored(windowsFont(8).family()).value_or(std::string()));
    const int points = listFont.pointSize() > 0 ? listFont.pointSize()
                                                : static_cast<int>(std::lround(listFont.pixelSize() * 72.0 / 96.0));
    values.fontSize = m_stored.fontSize && m_fontSizeAsApplied && listFont.pointSize() == *m_fontSizeAsApplied
        ? *m_stored.fontSize
        : points;
    values.list1Width = kept(m_stored.list1Width, m_list1WidthAsApplied, list1Width);
    const std::optional<int> widthAsApplied = m_sizeAsApplied ? std::optional(m_sizeAsApplied->width()) : std::nullopt;
    const std::optional<int> heightAsApplied
        = m_sizeAsApplied ? std::optional(m_sizeAsApplied->height()) : std::nullopt;
    values.width = kept(m_stored.width, widthAsApplied, outer.width());
    values.height = kept(m_stored.height, heightAsApplied, outer.height());
    return values;
}

void WindowSettings::write(AddressBook &book, const QFont &listFont, int list1Width, QSize outer) const
{
    book.writeSettings(valuesToWrite(listFont, list1Width, outer));
}

} // namespace kvillo
