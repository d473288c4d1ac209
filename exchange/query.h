#pragma once

#include "book/line_list.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kvillo {

// Finds a text inside entries the way a person searches them: letter case ignored in Latin and
// Cyrillic, and ё the same as е. All texts are Windows-1251 bytes.
class QueryMatcher
{
public:
    explicit QueryMatcher(std::string_view needle);

    // Whether `text` contains the needle; an empty needle is in every text.
    bool matches(std::string_view text) const { return find(text, 0) != std::string_view::npos; }
    // Where the needle first occurs in `text` at or after `from`, or npos.
    std::size_t find(std::string_view text, std::size_t from) const;
    // Whether the needle could lie inside one line (it holds no CR or LF).
    bool fitsOneLine() const { return m_needle.find_first_of("\r\n") == std::string::npos; }

    // The byte every Windows-1251 byte is compared as.
    static const unsigned char *foldTable();

private:
    const unsigned char *m_fold;
    std::string m_needle; // folded
    std::array<unsigned char, 256> m_shift{};
    // Every byte that folds to the needle's first and to its last byte (at most four: е, Е, ё,
    // Ё), repeated to fill the four.
    std::array<unsigned char, 4> m_firstVariants{};
    std::array<unsigned char, 4> m_lastVariants{};
};

// The lines of a line file's bytes, one after another, split as LineList splits them.
class LineCursor
{
public:
    explicit LineCursor(std::string_view text)
        : m_text(beforeNul(text))
    { }
    bool next(std::string_view &line)
    {
        if (m_pos >= m_text.size())
            return false;
        const std::size_t end = findLineBreak(m_text, m_pos);
        line = m_text.substr(m_pos, end - m_pos);
        const bool crlf = end + 1 < m_text.size() && m_text[end] == '\r' && m_text[end + 1] == '\n';
        m_pos = end + (crlf ? 2 : 1);
        return true;
    }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
};

// Calls found(description, mail) for each entry with an address whose description or address
// contains the needle, reading the book straight from its two line files' bytes (an entry is the
// same line of both). Each file is searched whole, so the search skips through it; the lines are
// only walked to pair them.
template <typename Found>
void findEntries(
    std::string_view descriptionsText, std::string_view mailsText, const QueryMatcher &matcher, Found &&found)
{
    if (!matcher.fitsOneLine())
        return;
    const std::string_view texts[2] = {beforeNul(descriptionsText), beforeNul(mailsText)};
    LineCursor cursors[2] = {LineCursor(texts[0]), LineCursor(texts[1])};
    std::size_t hits[2] = {matcher.find(texts[0], 0), matcher.find(texts[1], 0)};
    for (;;) {
        std::string_view lines[2];
        bool any = false, hit = false;
        for (int k = 0; k < 2; ++k) {
            if (!cursors[k].next(lines[k]))
                continue;
            any = true;
            const std::size_t end = static_cast<std::size_t>(lines[k].data() - texts[k].data()) + lines[k].size();
            if (hits[k] <= end) {
                hit = true;
                hits[k] = matcher.find(texts[k], end + 1);
            }
        }
        if (!any)
            break;
        if (hit && !lines[1].empty())
            found(lines[0], lines[1]);
    }
}

} // namespace kvillo
