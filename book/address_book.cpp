#include "address_book.h"

#include "sys/errors.h"
#include "sys/system.h"

#include <algorithm>

namespace kvillo {

namespace {

// The rows a change-and-save has changed so far, put back (newest first) when its save fails.
class UndoLog
{
public:
    explicit UndoLog(AddressBook &book)
        : m_book(book)
    { }

    void append(ListId id, std::string_view text)
    {
        const long long row = static_cast<long long>(m_book.count(id));
        m_book.append(id, text);
        m_steps.push_back({id, row, std::nullopt});
    }
    // Appends every item of `added`, in one step that an undo takes back as one.
    void append(ListId id, const LineList &added)
    {
        const long long row = static_cast<long long>(m_book.count(id));
        m_book.append(id, added);
        m_steps.push_back({id, row, std::nullopt, false, added.size()});
    }
    void remove(ListId id, long long row)
    {
        std::string old(m_book.text(id, row));
        m_book.remove(id, row);
        m_steps.push_back({id, row, std::move(old), true});
    }
    void replace(ListId id, long long row, std::string_view text)
    {
        std::string old(m_book.text(id, row));
        m_book.replace(id, row, text);
        m_steps.push_back({id, row, std::move(old)});
    }
    void undo()
    {
        for (auto step = m_steps.rbegin(); step != m_steps.rend(); ++step) {
            if (step->removed)
                m_book.insert(step->id, step->row, *step->old);
            else if (step->old)
                m_book.replace(step->id, step->row, *step->old);
            else
                for (std::size_t k = step->rows; k-- > 0;)
                    m_book.remove(step->id, step->row + static_cast<long long>(k));
        }
        m_steps.clear();
    }

private:
    struct Step
    {
        ListId id;
        long long row;
        // The text replaced or removed; nothing for a row appended.
        std::optional<std::string> old;
        bool removed = false;
        std::size_t rows = 1; // appended from `row` on
    };
    AddressBook &m_book;
    std::vector<Step> m_steps;
};

// Runs `change(log)` and saves as the entry dialogs do; a failed save undoes the change.
template <typename Change> void changeAndSave(AddressBook &book, Change &&change, const std::string &importId = {})
{
    UndoLog log(book);
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
    reload(id);
}

void AddressBook::reload(ListId id)
{
    shown(Notice::Reset, id, 0, [&] {
        m_store.load(id, m_lists.list(id));
        forgetRows(id);
    });
}

void AddressBook::addViews(ListViews &views)
{
    if (std::find(m_views.begin(), m_views.end(), &views) == m_views.end())
        m_views.push_back(&views);
}

void AddressBook::removeViews(ListViews &views)
{
    std::erase(m_views, &views);
}

void AddressBook::shown(Notice notice, ListId id, long long row, const ListViews::Change &change, std::size_t view)
{
    if (view == m_views.size()) {
        change();
        return;
    }
    ListViews &views = *m_views[view];
    const ListViews::Change inner = [&] { shown(notice, id, row, change, view + 1); };
    switch (notice) {
    case Notice::Insert:
        return views.inserting(id, row, inner);
    case Notice::Remove:
        return views.removing(id, row, inner);
    case Notice::Replace:
        return views.replacing(id, row, inner);
    case Notice::Reset:
        return views.resetting(id, inner);
    }
}

void AddressBook::append(std::string_view description, std::string_view mail)
{
    append(ListId::Descriptions, description);
    append(ListId::Mails, mail);
}

void AddressBook::append(ListId id, std::string_view text)
{
    LineList &list = m_lists.list(id);
    shown(Notice::Insert, id, static_cast<long long>(list.size()), [&] { list.append(text); });
}

void AddressBook::append(ListId id, const LineList &items)
{
    LineList &list = m_lists.list(id);
    // Views are told of each row; without any the items go in with one copy.
    if (m_views.empty()) {
        list.append(items);
        return;
    }
    for (std::size_t i = 0; i < items.size(); ++i)
        append(id, items[i]);
}

void AddressBook::insert(ListId id, long long row, std::string_view text)
{
    LineList &list = m_lists.list(id);
    if (row != static_cast<long long>(list.size()))
        list.at(row);
    shown(Notice::Insert, id, row, [&] { list.insert(static_cast<std::size_t>(row), text); });
    for (const std::weak_ptr<long long> &handle : m_tracked[static_cast<int>(id)]) {
        if (const std::shared_ptr<long long> held = handle.lock(); held && *held >= row)
            ++*held;
    }
}

void AddressBook::replace(ListId id, long long row, std::string_view text)
{
    LineList &list = m_lists.list(id);
    list.at(row);
    shown(Notice::Replace, id, row, [&] { list.replace(static_cast<std::size_t>(row), text); });
}

void AddressBook::remove(ListId id, long long row)
{
    LineList &list = m_lists.list(id);
    list.at(row);
    shown(Notice::Remove, id, row, [&] { list.remove(static_cast<std::size_t>(row)); });
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

bool AddressBook::appendAndSave(const BookLists &entries, const std::string &importId)
{
    if (!importId.empty() && m_store.hasImported(importId))
        return false;
    changeAndSave(
        *this,
        [&](UndoLog &log) {
            for (const ListId id : {ListId::Descriptions, ListId::Mails})
                log.append(id, entries.list(id));
        },
        importId);
    return true;
}

AddressBook::ImportCounts AddressBook::appendNewAndSave(const BookLists &entries, const std::string &importId)
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
        appendAndSave(entries, importId);
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
    appendAndSave(kept, importId);
    return counts;
}

bool AddressBook::replaceAndSave(const EntryRows &rows, std::string_view description, std::string_view mail)
{
    constexpr ListId kLists[] = {ListId::Descriptions, ListId::Mails};
    // An entry removed meanwhile is not brought back in another's place.
    if (std::any_of(
            std::begin(kLists), std::end(kLists), [&](ListId id) { return rows.of(id) && !rows.of(id)->row(); }))
        return false;
    changeAndSave(*this, [&](UndoLog &log) {
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

void AddressBook::readSettings(Settings &settings)
{
    m_scratch.clear();
    m_scratch.loadFromFile(m_store.settingsPath());
    kvillo::readSettings(m_scratch, settings);
}

void AddressBook::writeSettings(const SettingsValues &values)
{
    struct Cleared
    {
        ScratchBuffer &memo;
        ~Cleared() { memo.clear(); }
    } cleared{m_scratch};
    kvillo::writeSettings(m_scratch, values);
    m_scratch.saveToFile(m_store.settingsPath());
}

void AddressBook::report(const std::function<void(ScratchBuffer &memo, const BookLists &lists)> &build)
{
    build(m_scratch, m_lists);
}

void AddressBook::removeAndSave(long long row)
{
    constexpr ListId kLists[] = {ListId::Descriptions, ListId::Mails};
    if (std::none_of(std::begin(kLists), std::end(kLists),
            [&](ListId id) { return row >= 0 && static_cast<std::size_t>(row) < count(id); }))
        m_lists.descriptions.at(row); // throws the list's own error
    changeAndSave(*this, [&](UndoLog &log) {
        for (const ListId id : kLists) {
            if (row >= 0 && static_cast<std::size_t>(row) < count(id))
                log.remove(id, row);
        }
    });
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
    for (const auto &restored : {std::pair(ListId::Mails, &mails), std::pair(ListId::Descriptions, &descriptions)}) {
        // Named apart: a lambda may not capture a structured binding in every compiler we build with.
        const ListId id = restored.first;
        const std::optional<std::string> *text = restored.second;
        if (!*text) {
            reload(id);
            continue;
        }
        shown(Notice::Reset, id, 0, [&] {
            m_lists.list(id).assignText(std::string_view(**text));
            forgetRows(id);
        });
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
