#pragma once

#include "sys/memory.h"

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

    // The item at `index`; throws ListIndexError outside 0 .. size()-1.
    std::string_view at(long long index) const;
    std::string_view operator[](std::size_t index) const
    {
        const Item &item = m_items[index];
        return {m_bytes.data() + item.offset, item.length};
    }

    void append(std::string_view text);
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

// Where the next CR or LF is at or after `from`, or text.size().
std::size_t findLineBreak(std::string_view text, std::size_t from);

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
