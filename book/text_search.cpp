#include "text_search.h"

#include "address_book.h"

#include "sys/cp1251.h"

#include <algorithm>
#include <iterator>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// Where the processor has AVX2 (most since 2013), 32 places of a text are looked at in a step.
#if defined(__GNUC__) && defined(__x86_64__)
#define KVILLO_SEARCH_AVX2 1
#include <immintrin.h>
#endif

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
    : m_fold(foldTable())
{
    const unsigned char *fold = m_fold;
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
    if (length > 0) {
        const auto variants = [&](unsigned char folded, std::array<unsigned char, 4> &out) {
            std::size_t n = 0;
            for (int b = 0; b < 256 && n < out.size(); ++b) {
                if (fold[b] == folded)
                    out[n++] = static_cast<unsigned char>(b);
            }
            for (std::size_t i = n; i < out.size(); ++i)
                out[i] = out[0];
        };
        variants(static_cast<unsigned char>(m_needle.front()), m_firstVariants);
        variants(static_cast<unsigned char>(m_needle.back()), m_lastVariants);
    }
}

namespace {

// Whether the folded needle is at `at` of `data`, its first and last byte known to fit.
inline bool fitsBetweenEnds(const unsigned char *data, std::size_t at, const unsigned char *needle, std::size_t length,
    const unsigned char *fold)
{
    std::size_t k = 1;
    while (k + 1 < length && fold[data[at + k]] == needle[k])
        ++k;
    return k + 1 >= length;
}

#if KVILLO_SEARCH_AVX2
// The places from `pos` up to `end`, 32 at a time while they last; leaves `pos` at the first
// place not looked at.
__attribute__((target("avx2"))) std::size_t findWide(const unsigned char *data, std::size_t &pos, std::size_t end,
    const unsigned char *needle, std::size_t length, const unsigned char *fold,
    const std::array<unsigned char, 4> &firstVariants, const std::array<unsigned char, 4> &lastVariants)
{
    __m256i f[4], l[4];
    for (int i = 0; i < 4; ++i) {
        f[i] = _mm256_set1_epi8(static_cast<char>(firstVariants[i]));
        l[i] = _mm256_set1_epi8(static_cast<char>(lastVariants[i]));
    }
    const __m256i f0 = f[0], f1 = f[1], f2 = f[2], f3 = f[3], l0 = l[0], l1 = l[1], l2 = l[2], l3 = l[3];
    for (; pos + 32 <= end + 1; pos += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + pos));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + pos + length - 1));
        const __m256i firsts = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(a, f0), _mm256_cmpeq_epi8(a, f1)),
            _mm256_or_si256(_mm256_cmpeq_epi8(a, f2), _mm256_cmpeq_epi8(a, f3)));
        const __m256i lasts = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(b, l0), _mm256_cmpeq_epi8(b, l1)),
            _mm256_or_si256(_mm256_cmpeq_epi8(b, l2), _mm256_cmpeq_epi8(b, l3)));
        for (auto mask = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_and_si256(firsts, lasts))); mask != 0;
             mask &= mask - 1) {
            const std::size_t at = pos + static_cast<std::size_t>(__builtin_ctz(mask));
            if (fitsBetweenEnds(data, at, needle, length, fold))
                return at;
        }
    }
    return std::string_view::npos;
}

bool hasAvx2()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#endif

} // namespace

std::size_t QueryMatcher::find(std::string_view text, std::size_t from) const
{
    const std::size_t length = m_needle.size();
    if (from > text.size() || text.size() - from < length)
        return std::string_view::npos;
    if (length == 0)
        return from;
    const unsigned char *fold = m_fold;
    const auto *needle = reinterpret_cast<const unsigned char *>(m_needle.data());
    const auto *data = reinterpret_cast<const unsigned char *>(text.data());
    const unsigned char last = needle[length - 1];
    const std::size_t end = text.size() - length;
    std::size_t pos = from;
#if KVILLO_SEARCH_AVX2
    if (hasAvx2()) {
        const std::size_t at = findWide(data, pos, end, needle, length, fold, m_firstVariants, m_lastVariants);
        if (at != std::string_view::npos)
            return at;
    }
#endif
#if defined(__SSE2__)
    // Sixteen places at a time: those whose first and last bytes fit are checked in full.
    const auto splat
        = [](const std::array<unsigned char, 4> &v, int i) { return _mm_set1_epi8(static_cast<char>(v[i])); };
    const __m128i f0 = splat(m_firstVariants, 0), f1 = splat(m_firstVariants, 1), f2 = splat(m_firstVariants, 2),
                  f3 = splat(m_firstVariants, 3);
    const __m128i l0 = splat(m_lastVariants, 0), l1 = splat(m_lastVariants, 1), l2 = splat(m_lastVariants, 2),
                  l3 = splat(m_lastVariants, 3);
    for (; pos + 16 <= end + 1; pos += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + pos));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + pos + length - 1));
        const __m128i firsts = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, f0), _mm_cmpeq_epi8(a, f1)),
            _mm_or_si128(_mm_cmpeq_epi8(a, f2), _mm_cmpeq_epi8(a, f3)));
        const __m128i lasts = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, l0), _mm_cmpeq_epi8(b, l1)),
            _mm_or_si128(_mm_cmpeq_epi8(b, l2), _mm_cmpeq_epi8(b, l3)));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(firsts, lasts))); mask != 0;
             mask &= mask - 1) {
            const std::size_t at = pos + static_cast<std::size_t>(__builtin_ctz(mask));
            if (fitsBetweenEnds(data, at, needle, length, fold))
                return at;
        }
    }
#endif
    while (pos <= end) {
        const unsigned char tail = fold[data[pos + length - 1]];
        if (tail == last) {
            std::size_t k = 0;
            while (k + 1 < length && fold[data[pos + k]] == needle[k])
                ++k;
            if (k + 1 >= length)
                return pos;
        }
        pos += m_shift[tail];
    }
    return std::string_view::npos;
}

namespace {

bool separatesWords(unsigned char byte)
{
    constexpr unsigned char kNoBreakSpace = 0xA0;
    return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == '\v' || byte == '\f'
        || byte == kNoBreakSpace;
}

std::string_view rowText(const LineList &list, std::uint32_t row)
{
    return row < list.size() ? list[row] : std::string_view();
}

} // namespace

WordMatcher::WordMatcher(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        while (pos < text.size() && separatesWords(static_cast<unsigned char>(text[pos])))
            ++pos;
        const std::size_t begin = pos;
        while (pos < text.size() && !separatesWords(static_cast<unsigned char>(text[pos])))
            ++pos;
        if (pos > begin)
            m_words.emplace_back(text.substr(begin, pos - begin));
    }
}

bool WordMatcher::matches(std::string_view description, std::string_view mail) const
{
    return std::all_of(m_words.begin(), m_words.end(),
        [&](const QueryMatcher &word) { return word.matches(description) || word.matches(mail); });
}

namespace {

// The rows of `from` .. `to`-1 whose description or address holds `word`, searched in the stored
// bytes in place.
std::vector<std::uint32_t> rowsHolding(
    const BookLists &lists, const QueryMatcher &word, std::size_t from, std::size_t to)
{
    const auto find = [&](std::string_view text, std::size_t at) { return word.find(text, at); };
    std::vector<std::uint32_t> found[2];
    const LineList *searched[2] = {&lists.descriptions, &lists.mails};
    for (int k = 0; k < 2; ++k) {
        searched[k]->findItems(
            from, to, word.size(), find, [&](std::size_t row) { found[k].push_back(static_cast<std::uint32_t>(row)); });
    }
    std::vector<std::uint32_t> rows;
    rows.reserve(found[0].size() + found[1].size());
    std::set_union(found[0].begin(), found[0].end(), found[1].begin(), found[1].end(), std::back_inserter(rows));
    return rows;
}

// Keeps those of `rows` (ascending) whose entry holds `word`: entry by entry while they are few
// among the rows they span, else by one search of that stretch of the lists.
void keepHolding(const BookLists &lists, const QueryMatcher &word, std::vector<std::uint32_t> &rows)
{
    if (rows.empty())
        return;
    const std::size_t from = rows.front(), to = std::size_t{rows.back()} + 1;
    if (rows.size() < (to - from) / 8) {
        std::erase_if(rows, [&](std::uint32_t row) {
            return !word.matches(rowText(lists.descriptions, row)) && !word.matches(rowText(lists.mails, row));
        });
        return;
    }
    const std::vector<std::uint32_t> holding = rowsHolding(lists, word, from, to);
    std::vector<std::uint32_t> both;
    std::set_intersection(rows.begin(), rows.end(), holding.begin(), holding.end(), std::back_inserter(both));
    rows = std::move(both);
}

// The words, the longest first: as a rule the rarest, it leaves the fewest entries to the others.
std::vector<const QueryMatcher *> longestFirst(const WordMatcher &words)
{
    std::vector<const QueryMatcher *> order;
    for (const QueryMatcher &word : words.words())
        order.push_back(&word);
    std::stable_sort(
        order.begin(), order.end(), [](const QueryMatcher *a, const QueryMatcher *b) { return a->size() > b->size(); });
    return order;
}

std::size_t entryCount(const BookLists &lists)
{
    return std::max(lists.descriptions.size(), lists.mails.size());
}

} // namespace

std::vector<std::uint32_t> findRows(const BookLists &lists, const WordMatcher &words, std::size_t from, std::size_t to)
{
    to = std::min(to, entryCount(lists));
    std::vector<std::uint32_t> rows;
    if (from >= to)
        return rows;
    if (words.words().empty()) {
        rows.resize(to - from);
        for (std::size_t row = from; row < to; ++row)
            rows[row - from] = static_cast<std::uint32_t>(row);
        return rows;
    }
    const std::vector<const QueryMatcher *> order = longestFirst(words);
    rows = rowsHolding(lists, *order.front(), from, to);
    for (std::size_t i = 1; i < order.size() && !rows.empty(); ++i)
        keepHolding(lists, *order[i], rows);
    return rows;
}

std::vector<std::uint32_t> findRows(const BookLists &lists, const WordMatcher &words)
{
    return findRows(lists, words, 0, entryCount(lists));
}

std::vector<std::uint32_t> narrowRows(
    const BookLists &lists, const WordMatcher &words, const std::vector<std::uint32_t> &rows)
{
    std::vector<std::uint32_t> kept = rows;
    for (const QueryMatcher *word : longestFirst(words)) {
        if (kept.empty())
            break;
        keepHolding(lists, *word, kept);
    }
    return kept;
}

RowSearch::RowSearch(const BookLists &lists, WordMatcher words, std::size_t start)
    : m_words(std::move(words))
    , m_total(entryCount(lists))
    , m_start(start < m_total ? start : 0)
{ }

RowSearch::RowSearch(WordMatcher words, std::size_t start, std::vector<std::uint32_t> candidates)
    : m_words(std::move(words))
    , m_candidates(std::move(candidates))
    , m_narrowing(true)
    , m_total(m_candidates.size())
    , m_start(static_cast<std::size_t>(
          std::lower_bound(m_candidates.begin(), m_candidates.end(), start) - m_candidates.begin()))
{
    if (m_start == m_total)
        m_start = 0;
}

bool RowSearch::advance(const BookLists &lists, std::size_t entries)
{
    while (entries > 0 && !finished()) {
        // A stretch that does not go round the end: from the start to the end, then from the
        // first entry to the start.
        const std::size_t from = m_start + m_searched < m_total ? m_start + m_searched : m_start + m_searched - m_total;
        const std::size_t to = std::min(from + entries, from < m_start ? m_start : m_total);
        std::vector<std::uint32_t> rows;
        if (m_narrowing) {
            rows.assign(m_candidates.begin() + static_cast<std::ptrdiff_t>(from),
                m_candidates.begin() + static_cast<std::ptrdiff_t>(to));
            rows = narrowRows(lists, m_words, rows);
        } else {
            rows = findRows(lists, m_words, from, to);
        }
        if (from >= m_start)
            m_beforeWrap += rows.size();
        m_found.insert(m_found.end(), rows.begin(), rows.end());
        m_searched += to - from;
        entries -= to - from;
    }
    return finished();
}

std::vector<std::uint32_t> RowSearch::rows() const
{
    std::vector<std::uint32_t> rows = m_found;
    std::rotate(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(m_beforeWrap), rows.end());
    return rows;
}

} // namespace kvillo
