#include "address_book.h"

#include "sys/errors.h"
#include "sys/system.h"

#include <algorithm>

namespace kvillo {

namespace {

ListViews g_noViews;

ListViews &shownBy(ListViews *views)
{
    return views ? *views : g_noViews;
}

// The rows a change-and-save has changed so far, put back (newest first) when its save fails.
class UndoLog
{
public:
    UndoLog(AddressBook &book, ListViews &views)
        : m_book(book)
        , m_views(views)
    { }

    void append(ListId id, std::string_view text)
    {
        const long long row = static_cast<long long>(m_book.count(id));
        m_views.inserting(id, row, [&] { m_book.append(id, text); });
        m_steps.push_back({id, row, std::nullopt});
    }
    void replace(ListId id, long long row, std::string_view text)
    {
        std::string old(m_book.text(id, row));
        m_views.replacing(id, row, [&] { m_book.replace(id, row, text); });
        m_steps.push_back({id, row, std::move(old)});
    }
    // Appends every item of `added`; with no views to tell, in one step that an undo takes back
    // as one (an import of a hundred thousand entries).
    void appendAll(ListId id, const LineList &added)
    {
        if (&m_views != &g_noViews) {
            m_steps.reserve(m_steps.size() + added.size());
            for (std::size_t i = 0; i < added.size(); ++i)
                append(id, added[i]);
            return;
        }
        const auto first = static_cast<long long>(m_book.count(id));
        m_book.append(id, added);
        m_steps.push_back({id, first, std::nullopt, added.size()});
    }
    void undo()
    {
        for (auto step = m_steps.rbegin(); step != m_steps.rend(); ++step) {
            if (step->old)
                m_views.replacing(step->id, step->row, [&] { m_book.replace(step->id, step->row, *step->old); });
            else
                for (std::size_t k = step->rows; k-- > 0;)
                    m_views.removing(step->id, step->row + static_cast<long long>(k),
                        [&] { m_book.remove(step->id, step->row + static_cast<long long>(k)); });
        }
        m_steps.clear();
    }

private:
    struct Step
    {
        ListId id;
        long long row;
        // The text replaced; nothing for rows appended.
        std::optional<std::string> old;
        std::size_t rows = 1; // appended from `row` on
    };
    AddressBook &m_book;
    ListViews &m_views;
    std::vector<Step> m_steps;
};

// Runs `change(log)` and saves as the entry dialogs do; a failed save undoes the change.
template <typename Change>
void changeAndSave(AddressBook &book, ListViews *views, Change &&change, const std::string &importId = {})
{
    UndoLog log(book, shownBy(views));
    try {
        change(log);
        book.save(AddressBook::Order::MailsFirst, importId);
    } catch (...) {
        log.undo();
        throw;
    }
}

} // namespace

std::optional<long long> RowHandle::row() const
{
    if (!m_row || *m_row < 0)
        return std::nullopt;
    return *m_row;
}

AddressBook::AddressBook(std::string applicationDirectory)
    : m_store(std::move(applicationDirectory))
{ }

void AddressBook::load()
{
    load(ListId::Mails);
    load(ListId::Descriptions);
}

void AddressBook::load(ListId id)
{
    m_store.load(id, m_lists.list(id));
    forgetRows(id);
}

void AddressBook::append(std::string_view description, std::string_view mail)
{
    append(ListId::Descriptions, description);
    append(ListId::Mails, mail);
}

void AddressBook::append(ListId id, std::string_view text)
{
    m_lists.list(id).append(text);
}

void AddressBook::append(ListId id, const LineList &items)
{
    m_lists.list(id).append(items);
}

void AddressBook::replace(ListId id, long long row, std::string_view text)
{
    m_lists.list(id).at(row);
    m_lists.list(id).replace(static_cast<std::size_t>(row), text);
}

void AddressBook::remove(ListId id, long long row)
{
    m_lists.list(id).at(row);
    m_lists.list(id).remove(static_cast<std::size_t>(row));
    auto &tracked = m_tracked[static_cast<int>(id)];
    std::erase_if(tracked, [row](const std::weak_ptr<long long> &handle) {
        const std::shared_ptr<long long> held = handle.lock();
        if (!held)
            return true;
        if (*held == row)
            *held = -1;
        else if (*held > row)
            --*held;
        return *held < 0;
    });
}

RowHandle AddressBook::track(ListId id, long long row)
{
    m_lists.list(id).at(row);
    auto held = std::make_shared<long long>(row);
    m_tracked[static_cast<int>(id)].push_back(held);
    return RowHandle(std::move(held));
}

void AddressBook::forgetRows(ListId id)
{
    for (const std::weak_ptr<long long> &handle : m_tracked[static_cast<int>(id)]) {
        if (const std::shared_ptr<long long> held = handle.lock())
            *held = -1;
    }
    m_tracked[static_cast<int>(id)].clear();
}

void AddressBook::save(Order order, const std::string &importId)
{
    m_store.savePair(m_lists.descriptions, m_lists.mails,
        order == Order::MailsFirst ? ListId::Mails : ListId::Descriptions, importId);
    ++m_saves;
}

bool AddressBook::appendAndSave(const BookLists &entries, ListViews *views, const std::string &importId)
{
    if (!importId.empty() && m_store.hasImported(importId))
        return false;
    changeAndSave(
        *this, views,
        [&](UndoLog &log) {
            for (const ListId id : {ListId::Descriptions, ListId::Mails}) {
                log.appendAll(id, entries.list(id));
            }
        },
        importId);
    return true;
}

AddressBook::ImportCounts AddressBook::appendNewAndSave(
    const BookLists &entries, ListViews *views, const std::string &importId)
{
    const std::size_t offered = std::max(entries.descriptions.size(), entries.mails.size());
    if (!importId.empty() && m_store.hasImported(importId))
        return {offered, 0};

    // An entry is the pair of its texts; a list shorter than the other pairs its missing rows
    // with empty texts, as the window shows them.
    using Pair = std::pair<std::string_view, std::string_view>;
    const auto pairAt = [](const BookLists &lists, std::size_t i) {
        return Pair(i < lists.descriptions.size() ? lists.descriptions[i] : std::string_view(),
            i < lists.mails.size() ? lists.mails[i] : std::string_view());
    };
    const std::size_t held = std::max(m_lists.descriptions.size(), m_lists.mails.size());
    // Entry k is the book's k-th below `held`, else the import's (k - held)-th.
    const auto entryAt = [&](std::size_t k) { return k < held ? pairAt(m_lists, k) : pairAt(entries, k - held); };

    // An open-addressed table of the entries seen: each slot holds the upper half of an entry's
    // hash and its number plus one (0: empty). No allocation per entry.
    std::size_t slots = 16;
    while (slots < 2 * (held + offered))
        slots *= 2;
    std::vector<std::uint64_t> table(slots, 0);
    // True when the entry was not in the table (and is now).
    const auto insert = [&](std::size_t k) {
        const Pair entry = entryAt(k);
        const std::size_t first = std::hash<std::string_view>()(entry.first);
        const std::uint64_t hash
            = first ^ (std::hash<std::string_view>()(entry.second) + 0x9e3779b97f4a7c15ULL + (first << 6) + (first >> 2));
        const std::uint64_t tag = hash & 0xFFFFFFFF00000000ULL;
        for (std::size_t slot = hash & (slots - 1);; slot = (slot + 1) & (slots - 1)) {
            const std::uint64_t stored = table[slot];
            if (stored == 0) {
                table[slot] = tag | (k + 1);
                return true;
            }
            if ((stored & 0xFFFFFFFF00000000ULL) == tag && entryAt((stored & 0xFFFFFFFFULL) - 1) == entry)
                return false;
        }
    };
    for (std::size_t k = 0; k < held; ++k)
        insert(k);
    std::vector<std::size_t> fresh;
    fresh.reserve(offered);
    for (std::size_t i = 0; i < offered; ++i) {
        if (insert(held + i))
            fresh.push_back(i);
    }
    const ImportCounts counts{fresh.size(), offered - fresh.size()};
    if (fresh.empty())
        return counts;
    if (fresh.size() == offered) {
        appendAndSave(entries, views, importId);
        return counts;
    }
    BookLists kept;
    kept.descriptions.reserve(fresh.size(), entries.descriptions.textBytes());
    kept.mails.reserve(fresh.size(), entries.mails.textBytes());
    for (const std::size_t i : fresh) {
        const Pair entry = pairAt(entries, i);
        kept.descriptions.append(entry.first);
        kept.mails.append(entry.second);
    }
    appendAndSave(kept, views, importId);
    return counts;
}

bool AddressBook::replaceAndSave(
    const EntryRows &rows, std::string_view description, std::string_view mail, ListViews *views)
{
    constexpr ListId kLists[] = {ListId::Descriptions, ListId::Mails};
    // An entry removed meanwhile is not brought back in another's place.
    if (std::any_of(
            std::begin(kLists), std::end(kLists), [&](ListId id) { return rows.of(id) && !rows.of(id)->row(); }))
        return false;
    changeAndSave(*this, views, [&](UndoLog &log) {
        for (const ListId id : kLists) {
            const std::string_view text = id == ListId::Mails ? mail : description;
            if (const std::optional<RowHandle> &handle = rows.of(id))
                log.replace(id, *handle->row(), text);
            else
                log.append(id, text);
        }
    });
    return true;
}

void AddressBook::backUp(ListId id, const std::string &path)
{
    if (m_store.isBookFile(path))
        throw Error("Файл «" + path + "» — это файл самой адресной книги, резервную копию нельзя записать поверх него");
    // Read from the folder the book was loaded from, even if another now stands at its path.
    m_scratch.clear();
    m_scratch.setText(normalizeLineBreaks(m_store.readData(id)));
    m_scratch.saveToFile(path);
}

std::string AddressBook::readBackup(const std::string &path)
{
    m_scratch.clear();
    m_scratch.loadWholeFromFile(path);
    return m_scratch.text();
}

AddressBook::RestoreCheck AddressBook::checkRestore(
    const std::optional<std::string> &descriptions, const std::optional<std::string> &mails)
{
    RestoreCheck check;
    if (!descriptions && !mails)
        return check;
    // A data file not restored is compared as a load would read it.
    const auto pairedText
        = [&](ListId id, const std::optional<std::string> &text) { return text ? *text : m_store.readData(id); };
    const std::string descriptionText = pairedText(ListId::Descriptions, descriptions);
    const std::string mailText = pairedText(ListId::Mails, mails);
    const auto holdsAt = [](std::string_view text) { return beforeNul(text).find('@') != std::string_view::npos; };
    check.descriptionLines = countLines(descriptionText);
    check.mailLines = countLines(mailText);
    check.mailsWithoutAt = !holdsAt(mailText) && holdsAt(descriptionText);
    return check;
}

void AddressBook::restore(const std::optional<std::string> &descriptions, const std::optional<std::string> &mails)
{
    const auto view = [](const std::optional<std::string> &text) {
        return text ? std::optional<std::string_view>(*text) : std::nullopt;
    };
    m_store.replacePair(view(descriptions), view(mails));
    if (descriptions || mails)
        ++m_saves;
    // Mails first, as the lists are read at start-up.
    for (const auto &[id, text] : {std::pair(ListId::Mails, &mails), std::pair(ListId::Descriptions, &descriptions)}) {
        if (*text)
            m_lists.list(id).assignText(std::string_view(**text));
        else
            m_store.load(id, m_lists.list(id));
        forgetRows(id);
    }
}

void AddressBook::restoreFrom(
    const std::optional<std::string> &descriptionsPath, const std::optional<std::string> &mailsPath)
{
    std::optional<std::string> descriptions;
    std::optional<std::string> mails;
    if (descriptionsPath)
        descriptions = readBackup(*descriptionsPath);
    if (mailsPath)
        mails = readBackup(*mailsPath);
    restore(descriptions, mails);
}

} // namespace kvillo
