#pragma once

#include "line_list.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvillo {

struct BookLists;

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
    std::size_t size() const { return m_needle.size(); }

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

// A search text as words: an entry is found when each word is in its description or its address,
// in any order ("петров иван" finds "Иван Петров"). Words are split at spaces, tabs, line breaks
// and no-break spaces; a text of none finds every entry.
class WordMatcher
{
public:
    explicit WordMatcher(std::string_view text);
    // One word taken as it is, spaces and all.
    WordMatcher(QueryMatcher word) // NOLINT(google-explicit-constructor): a word is a text of one word
        : m_words{std::move(word)}
    { }

    const std::vector<QueryMatcher> &words() const { return m_words; }
    bool matches(std::string_view description, std::string_view mail) const;

private:
    std::vector<QueryMatcher> m_words;
};

// The rows (ascending) of the entries of `lists` that `words` finds: entry i is description i with
// address i, a row one list lacks being empty there. The stored bytes are searched in place, the
// longest word first over the whole lists, the other words only in the entries it found.
std::vector<std::uint32_t> findRows(const BookLists &lists, const WordMatcher &words);
// Those of `rows` (ascending) whose entries `words` finds: a search narrowed after its text grew.
std::vector<std::uint32_t> narrowRows(
    const BookLists &lists, const WordMatcher &words, const std::vector<std::uint32_t> &rows);

} // namespace kvillo
