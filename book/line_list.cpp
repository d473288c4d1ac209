#include "line_list.h"

#include "sys/cp1251.h"
#include "sys/errors.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kvillo {

std::string_view beforeNul(std::string_view text)
{
    // An empty view may have no data at all, and memchr must not be given a null pointer.
    if (text.empty())
        return text;
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
    const unsigned char *fold = cp1251::foldCaseTable();
    std::string folded(prefix);
    for (char &c : folded)
        c = static_cast<char>(fold[static_cast<unsigned char>(c)]);
    const std::size_t count = list.size();
    if (folded.empty())
        return count > 0 ? 0 : -1;
    const auto first = static_cast<unsigned char>(folded[0]);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view item = list[i];
        if (item.size() < folded.size() || fold[static_cast<unsigned char>(item[0])] != first)
            continue;
        std::size_t k = 1;
        while (k < folded.size() && fold[static_cast<unsigned char>(item[k])] == static_cast<unsigned char>(folded[k]))
            ++k;
        if (k == folded.size())
            return static_cast<long long>(i);
    }
    return -1;
}

std::size_t countLines(std::string_view text)
{
    std::size_t lines = 0;
    splitLines(text, [&](std::size_t, std::size_t) { ++lines; });
    return lines;
}

// How many LF bytes `text` holds, sixteen at a time.
std::size_t countLineFeeds(std::string_view text)
{
    std::size_t count = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= text.size(); i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text.data() + i));
        count += static_cast<std::size_t>(
            __builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, lf)))));
    }
#endif
    for (; i < text.size(); ++i)
        count += text[i] == '\n';
    return count;
}

std::string_view LineList::at(long long index) const
{
    if (index < 0 || static_cast<unsigned long long>(index) >= m_items.size())
        throw ListIndexError(index);
    return (*this)[static_cast<std::size_t>(index)];
}

LineList::Item LineList::store(std::string_view text)
{
    if (m_bytes.size() + text.size() > kMaxBytes)
        throw Error("Address book exceeds list capacity");
    // `text` may lie in m_bytes itself: take its offset before the buffer can move.
    const char *begin = m_bytes.data();
    const bool inside = !m_bytes.empty() && text.data() >= begin && text.data() < begin + m_bytes.size();
    const std::size_t from = inside ? static_cast<std::size_t>(text.data() - begin) : 0;
    const Item item{static_cast<std::uint32_t>(m_bytes.size()), static_cast<std::uint32_t>(text.size())};
    if (m_bytes.capacity() - m_bytes.size() < text.size())
        m_bytes.reserve(std::max(m_bytes.size() + text.size(), m_bytes.size() * 3 / 2 + 64));
    const char *source = inside ? m_bytes.data() + from : text.data();
    m_bytes.resize(m_bytes.size() + text.size());
    if (!text.empty())
        std::memmove(m_bytes.data() + item.offset, source, text.size());
    m_liveBytes += text.size();
    return item;
}

void LineList::append(const LineList &other)
{
    // A list whose items lie in its buffer in order with nothing between them (one built by
    // appends) is its buffer: one copy, and its slices moved along.
    if (&other == this || !other.m_inOrder || other.m_liveBytes != other.m_bytes.size()) {
        reserve(other.size(), other.textBytes());
        for (std::size_t i = 0, count = other.size(); i < count; ++i)
            append(other[i]);
        return;
    }
    if (m_bytes.size() + other.m_bytes.size() > kMaxBytes)
        throw Error("Address book exceeds list capacity");
    const auto base = static_cast<std::uint32_t>(m_bytes.size());
    m_bytes.insert(m_bytes.end(), other.m_bytes.begin(), other.m_bytes.end());
    m_items.reserve(m_items.size() + other.m_items.size());
    for (const Item &item : other.m_items)
        m_items.push_back({item.offset + base, item.length});
    m_liveBytes += other.m_liveBytes;
}

void LineList::reserve(std::size_t items, std::size_t bytes)
{
    m_items.reserve(m_items.size() + items);
    m_bytes.reserve(std::min(m_bytes.size() + bytes, kMaxBytes));
}

void LineList::append(std::string_view text)
{
    m_items.push_back(store(text));
}

void LineList::insert(std::size_t index, std::string_view text)
{
    const Item item = store(text);
    m_inOrder = m_inOrder && index == m_items.size();
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
    m_inOrder = m_inOrder && index + 1 == m_items.size();
    m_items[index] = item;
    compactIfWasteful();
}

void LineList::clear()
{
    m_items = {};
    m_bytes = {};
    m_liveBytes = 0;
    m_inOrder = true;
}

void LineList::assignText(Bytes &&text)
{
    const std::string_view view(text.data(), text.size());
    if (view.size() > kMaxBytes)
        throw Error("Address book exceeds list capacity");
    std::vector<Item, LargeAllocator<Item>> items;
    // Most line files end their lines with LF: counting them sizes the list in one go.
    items.reserve(countLineFeeds(view) + 1);
    std::size_t live = 0;
    splitLines(view, [&](std::size_t begin, std::size_t length) {
        items.push_back({static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(length)});
        live += length;
    });
    m_bytes = std::move(text);
    m_items = std::move(items);
    m_liveBytes = live;
    m_inOrder = true;
    compactIfWasteful();
}

void LineList::assignText(std::string_view text)
{
    assignText(Bytes(text.begin(), text.end()));
}

namespace {

template <typename Container, typename Items>
void writeLines(Container &text, const Items &items, const Bytes &bytes, std::size_t liveBytes)
{
    text.resize(liveBytes + 2 * items.size());
    char *out = text.data();
    for (const auto &item : items) {
        // A list of empty items only has no bytes at all: no pointer for memcpy then.
        if (item.length != 0)
            std::memcpy(out, bytes.data() + item.offset, item.length);
        out += item.length;
        *out++ = '\r';
        *out++ = '\n';
    }
}

} // namespace

std::string LineList::toText() const
{
    std::string text;
    writeLines(text, m_items, m_bytes, m_liveBytes);
    return text;
}

void LineList::toText(Bytes &text) const
{
    writeLines(text, m_items, m_bytes, m_liveBytes);
}

// Edits leave dead bytes behind in the buffer; rebuild it once they outweigh the live ones.
void LineList::compactIfWasteful()
{
    const std::size_t dead = m_bytes.size() - m_liveBytes;
    if (dead < 4096 || dead < m_liveBytes)
        return;
    Bytes bytes;
    bytes.resize(m_liveBytes);
    std::size_t offset = 0;
    for (Item &item : m_items) {
        if (item.length != 0)
            std::memcpy(bytes.data() + offset, m_bytes.data() + item.offset, item.length);
        item.offset = static_cast<std::uint32_t>(offset);
        offset += item.length;
    }
    m_bytes = std::move(bytes);
    m_inOrder = true;
}

} // namespace kvillo
