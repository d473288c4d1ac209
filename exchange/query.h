#pragma once

#include "book/line_list.h"
#include "book/text_search.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace kvillo {

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

// Calls found(description, mail) for each entry with an address that `words` finds (each word in
// its description or its address), reading the book straight from its two line files' bytes (an
// entry is the same line of both). Each file is searched whole for each word, so the search skips
// through it; the lines are only walked to pair them.
template <typename Found>
void findEntries(std::string_view descriptionsText, std::string_view mailsText, const WordMatcher &words, Found &&found)
{
    const std::vector<QueryMatcher> &matchers = words.words();
    for (const QueryMatcher &word : matchers) {
        if (!word.fitsOneLine())
            return;
    }
    const std::string_view texts[2] = {beforeNul(descriptionsText), beforeNul(mailsText)};
    LineCursor cursors[2] = {LineCursor(texts[0]), LineCursor(texts[1])};
    // Per list, where each word is next found.
    std::vector<std::size_t> hits[2];
    for (int k = 0; k < 2; ++k) {
        for (const QueryMatcher &word : matchers)
            hits[k].push_back(word.find(texts[k], 0));
    }
    for (;;) {
        std::string_view lines[2];
        std::size_t ends[2] = {0, 0};
        bool present[2] = {false, false};
        for (int k = 0; k < 2; ++k) {
            present[k] = cursors[k].next(lines[k]);
            if (!present[k])
                continue;
            ends[k] = static_cast<std::size_t>(lines[k].data() - texts[k].data()) + lines[k].size();
        }
        if (!present[0] && !present[1])
            break;
        bool all = true;
        for (std::size_t w = 0; w < matchers.size(); ++w) {
            bool hit = false;
            for (int k = 0; k < 2; ++k) {
                if (present[k] && hits[k][w] <= ends[k]) {
                    hit = true;
                    hits[k][w] = matchers[w].find(texts[k], ends[k] + 1);
                }
            }
            all = all && hit;
        }
        if (all && !lines[1].empty())
            found(lines[0], lines[1]);
    }
}

} // namespace kvillo
