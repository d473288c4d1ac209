#pragma once

#include "sys/memory.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvillo {

// An ordered list of 8-bit strings. The bytes live in one growing buffer and each item is a
// slice of it, so loading a file costs one read and one scan, not an allocation per line.
class LineList
{
public:
    std::size_t size() const { return m_items.size(); }
    bool empty() const { return m_items.empty(); }
    // The bytes of all items (those of items removed or replaced are not counted).
    std::size_t textBytes() const { return m_liveBytes; }

    // The item at `index`; throws ListIndexError outside 0 .. size()-1.
    std::string_view at(long long index) const;
    std::string_view operator[](std::size_t index) const
    {
        const Item &item = m_items[index];
        return {m_bytes.data() + item.offset, item.length};
    }

    void append(std::string_view text);
    // Appends every item of `other` (another list), in one copy where its bytes allow.
    void append(const LineList &other);
    // Room for `items` more items of `bytes` more bytes in all, so that appending them moves
    // nothing.
    void reserve(std::size_t items, std::size_t bytes);
    void insert(std::size_t index, std::string_view text);
    void remove(std::size_t index);
    void replace(std::size_t index, std::string_view text);
    void clear();

    // Replaces the whole list by the lines of a line file's contents (see splitLines).
    void assignText(Bytes &&text);
    void assignText(std::string_view text);

    // The list as a line file: each item followed by CR LF.
    std::string toText() const;
    void toText(Bytes &text) const;

    // Calls hit(index), in ascending order, once for each item of `first` .. `last`-1 (at most
    // size()) that `find(text, from)` finds a `length`-byte needle in (its answer: the needle's
    // first place at or after `from`, or npos). While the items lie in the buffer in their order
    // (after a load, appends and removals) the buffer is searched in place as one text, so a
    // search skips whole stretches of items.
    template <typename Find, typename Hit>
    void findItems(std::size_t first, std::size_t last, std::size_t length, Find &&find, Hit &&hit) const;
    template <typename Find, typename Hit> void findItems(std::size_t length, Find &&find, Hit &&hit) const
    {
        findItems(0, size(), length, find, hit);
    }

private:
    // Slices of a buffer of at most 4 GiB: eight bytes an item keeps a large book small.
    struct Item
    {
        std::uint32_t offset;
        std::uint32_t length;
    };
    static constexpr std::size_t kMaxBytes = 0xFFFFFFFFu;

    Item store(std::string_view text);
    void compactIfWasteful();

    Bytes m_bytes;
    std::vector<Item, LargeAllocator<Item>> m_items;
    std::size_t m_liveBytes = 0;
    // Each item's bytes come after those of the item before it.
    bool m_inOrder = true;
};

// Calls `line(begin, length)` for each line of `text`: a line ends at CR, LF, or CR LF (one end);
// LF CR is two ends; a NUL byte ends the text; text after the last line end is a line of its own
// and a final line end adds no empty line.
template <typename Sink> void splitLines(std::string_view text, Sink &&line);

// The first item that begins with `prefix`, letter case ignored (Windows-1251 letters), or -1.
// An empty prefix finds item 0.
long long findFirstWithPrefix(const LineList &list, std::string_view prefix);

// The bytes of `text` up to its first NUL.
std::string_view beforeNul(std::string_view text);

std::size_t countLineFeeds(std::string_view text);

// How many items a list read from the line file `text` has (see splitLines).
std::size_t countLines(std::string_view text);

// Where the next CR or LF is at or after `from`, or text.size().
std::size_t findLineBreak(std::string_view text, std::size_t from);

template <typename Find, typename Hit>
void LineList::findItems(std::size_t first, std::size_t last, std::size_t length, Find &&find, Hit &&hit) const
{
    const std::size_t count = std::min(last, m_items.size());
    if (first >= count)
        return;
    if (!m_inOrder) {
        for (std::size_t i = first; i < count; ++i) {
            if (find((*this)[i], 0) != std::string_view::npos)
                hit(i);
        }
        return;
    }
    const auto end = [&](std::size_t i) { return std::size_t{m_items[i].offset} + m_items[i].length; };
    // The buffer up to the end of the last item searched: no place found runs past it.
    const std::string_view bytes(m_bytes.data(), end(count - 1));
    std::size_t i = first;
    for (std::size_t at = find(bytes, m_items[first].offset); at != std::string_view::npos;) {
        // The first item that ends at or after the place found: it holds the place if any does.
        for (int steps = 0; i < count && end(i) < at + length; ++steps, ++i) {
            if (steps == 8) {
                i = static_cast<std::size_t>(
                    std::partition_point(m_items.begin() + static_cast<std::ptrdiff_t>(i),
                        m_items.begin() + static_cast<std::ptrdiff_t>(count),
                        [&](const Item &item) { return item.offset + std::size_t{item.length} < at + length; })
                    - m_items.begin());
                break;
            }
        }
        if (i == count)
            return;
        if (m_items[i].offset <= at) {
            hit(i);
            at = find(bytes, end(i));
            ++i;
        } else {
            // Across the end of an item: the next place lies in this item or after it.
            at = find(bytes, std::max<std::size_t>(at + 1, m_items[i].offset));
        }
    }
}

template <typename Sink> void splitLines(std::string_view text, Sink &&line)
{
    text = beforeNul(text);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = findLineBreak(text, pos);
        line(pos, end - pos);
        if (end == text.size())
            break;
        pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
}

} // namespace kvillo
