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
// The same among the entries `from` .. `to`-1.
std::vector<std::uint32_t> findRows(const BookLists &lists, const WordMatcher &words, std::size_t from, std::size_t to);
// Those of `rows` (ascending) whose entries `words` finds: a search narrowed after its text grew.
std::vector<std::uint32_t> narrowRows(
    const BookLists &lists, const WordMatcher &words, const std::vector<std::uint32_t> &rows);

// A search of the entries done a stretch at a time, so that a large book is searched between the
// keys a person types: from an entry on to the end, then from the first entry up to it. The first
// entry found is the next one from where the search started; all of them give the count. The
// lists must not change while it goes on.
class RowSearch
{
public:
    // Searches every entry of `lists` from `start` on (from the first when `start` is past the end).
    RowSearch(const BookLists &lists, WordMatcher words, std::size_t start);
    // Searches only `candidates` (ascending), from the first at or after `start` on: the entries
    // a shorter text was found in, when `words` can only be in fewer.
    RowSearch(WordMatcher words, std::size_t start, std::vector<std::uint32_t> candidates);

    // Searches about `entries` more entries (candidates) of `lists`; whether all are searched.
    bool advance(const BookLists &lists, std::size_t entries);
    bool finished() const { return m_searched == m_total; }
    // The entries found so far, in the order searched.
    const std::vector<std::uint32_t> &found() const { return m_found; }
    // The entries found so far, ascending.
    std::vector<std::uint32_t> rows() const;

private:
    WordMatcher m_words;
    std::vector<std::uint32_t> m_candidates;
    bool m_narrowing = false;
    // How many entries (candidates) there are, the first searched and how many are searched.
    std::size_t m_total;
    std::size_t m_start;
    std::size_t m_searched = 0;
    // How many of `m_found` lie from the start to the end.
    std::size_t m_beforeWrap = 0;
    std::vector<std::uint32_t> m_found;
};

} // namespace kvillo
