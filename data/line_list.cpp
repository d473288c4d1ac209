#include "line_list.h"

#include "cp1251.h"
#include "errors.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kvillo {

std::string_view beforeNul(std::string_view text)
{
    const void *nul = std::memchr(text.data(), '\0', text.size());
    return nul == nullptr ? text : text.substr(0, static_cast<const char *>(nul) - text.data());
}

std::size_t findLineBreak(std::string_view text, std::size_t from)
{
    const char *data = text.data();
    const std::size_t size = text.size();
    std::size_t i = from;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= size; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf)));
        if (mask != 0)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
    }
#endif
    for (; i < size; ++i) {
        if (data[i] == '\r' || data[i] == '\n')
            return i;
    }
    return size;
}

long long findFirstWithPrefix(const LineList &list, std::string_view prefix)
{
    std::string folded(prefix);
    for (char &c : folded)
        c = static_cast<char>(cp1251::foldCase(static_cast<unsigned char>(c)));
    const std::size_t count = list.size();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view item = list[i];
        if (item.size() < folded.size())
            continue;
        std::size_t k = 0;
        while (k < folded.size() && cp1251::foldCase(static_cast<unsigned char>(item[k])) == static_cast<unsigned char>(folded[k]))
            ++k;
        if (k == folded.size())
            return static_cast<long long>(i);
    }
    return -1;
}

std::string_view LineList::at(long long index) const
{
    if (index < 0 || static_cast<unsigned long long>(index) >= m_items.size())
        throw ListIndexError(index);
    return (*this)[static_cast<std::size_t>(index)];
}

LineList::Item LineList::store(std::string_view text)
{
    // `text` may point into m_bytes itself; take the offset before the buffer can move.
    const Item item {m_bytes.size(), text.size()};
    if (text.data() >= m_bytes.data() && text.data() < m_bytes.data() + m_bytes.size()) {
        const std::size_t from = static_cast<std::size_t>(text.data() - m_bytes.data());
        m_bytes.append(m_bytes, from, text.size());
    } else {
        m_bytes.append(text);
    }
    m_liveBytes += text.size();
    return item;
}

void LineList::append(std::string_view text)
{
    m_items.push_back(store(text));
}

void LineList::insert(std::size_t index, std::string_view text)
{
    const Item item = store(text);
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(index), item);
}

void LineList::remove(std::size_t index)
{
    m_liveBytes -= m_items[index].length;
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
    compactIfWasteful();
}

void LineList::replace(std::size_t index, std::string_view text)
{
    const Item item = store(text);
    m_liveBytes -= m_items[index].length;
    m_items[index] = item;
    compactIfWasteful();
}

void LineList::clear()
{
    m_items.clear();
    m_bytes.clear();
    m_bytes.shrink_to_fit();
    m_liveBytes = 0;
}

void LineList::assignText(std::string &&text)
{
    std::vector<Item> items;
    // Line files have short lines: one item per 16 bytes is a close first guess.
    items.reserve(text.size() / 16 + 1);
    splitLines(text, [&](std::size_t begin, std::size_t length) { items.push_back({begin, length}); });
    std::size_t live = 0;
    for (const Item &item : items)
        live += item.length;
    m_bytes = std::move(text);
    m_items = std::move(items);
    m_liveBytes = live;
    compactIfWasteful();
}

std::string LineList::toText() const
{
    std::string text;
    text.resize(m_liveBytes + 2 * m_items.size());
    char *out = text.data();
    for (const Item &item : m_items) {
        std::memcpy(out, m_bytes.data() + item.offset, item.length);
        out += item.length;
        *out++ = '\r';
        *out++ = '\n';
    }
    return text;
}

// Edits leave dead bytes behind in the buffer; rebuild it once they outweigh the live ones.
void LineList::compactIfWasteful()
{
    const std::size_t dead = m_bytes.size() - m_liveBytes;
    if (dead < 4096 || dead < m_liveBytes)
        return;
    std::string bytes;
    bytes.reserve(m_liveBytes);
    for (Item &item : m_items) {
        const std::size_t offset = bytes.size();
        bytes.append(m_bytes, item.offset, item.length);
        item.offset = offset;
    }
    m_bytes = std::move(bytes);
}

} // namespace kvillo
