#include "query.h"

#include "cp1251.h"

#include <algorithm>

namespace kvillo {

namespace {

constexpr unsigned char kSmallYo = 0xB8;
constexpr unsigned char kSmallYe = 0xE5;

struct SearchFold
{
    std::array<unsigned char, 256> table{};
    SearchFold()
    {
        const unsigned char *caseFold = cp1251::foldCaseTable();
        for (int b = 0; b < 256; ++b) {
            const unsigned char lower = caseFold[b];
            table[b] = lower == kSmallYo ? kSmallYe : lower;
        }
    }
};

} // namespace

const unsigned char *QueryMatcher::foldTable()
{
    static const SearchFold fold;
    return fold.table.data();
}

QueryMatcher::QueryMatcher(std::string_view needle)
{
    const unsigned char *fold = foldTable();
    m_needle.reserve(needle.size());
    for (const char c : needle)
        m_needle += static_cast<char>(fold[static_cast<unsigned char>(c)]);
    // Horspool's shifts over folded bytes: long needles skip most of a text.
    const std::size_t length = m_needle.size();
    const auto longest = static_cast<unsigned char>(std::min<std::size_t>(length, 255));
    m_shift.fill(longest);
    for (std::size_t i = 0; i + 1 < length; ++i) {
        const std::size_t shift = length - 1 - i;
        if (shift < 256)
            m_shift[static_cast<unsigned char>(m_needle[i])] = static_cast<unsigned char>(shift);
    }
}

bool QueryMatcher::matches(std::string_view text) const
{
    const std::size_t length = m_needle.size();
    if (length == 0)
        return true;
    if (text.size() < length)
        return false;
    const unsigned char *fold = foldTable();
    const auto *needle = reinterpret_cast<const unsigned char *>(m_needle.data());
    const auto *data = reinterpret_cast<const unsigned char *>(text.data());
    const unsigned char last = needle[length - 1];
    for (std::size_t pos = 0; pos + length <= text.size();) {
        const unsigned char tail = fold[data[pos + length - 1]];
        if (tail == last) {
            std::size_t k = 0;
            while (k + 1 < length && fold[data[pos + k]] == needle[k])
                ++k;
            if (k + 1 >= length)
                return true;
        }
        pos += std::max<std::size_t>(1, m_shift[tail]);
    }
    return false;
}

} // namespace kvillo
