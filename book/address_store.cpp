#include "address_store.h"

#include "sys/errors.h"
#include "sys/system.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace kvillo {

namespace {

// The files of database/ that a save of the book replaces together: the only names a commit
// record may rename onto. A file joining the book's commit is added here.
constexpr std::string_view kCommittedFiles[]
    = {BookLayout::kDescriptionsFile, BookLayout::kMailsFile, BookLayout::kImportJournal};

std::string fileName(ListId id)
{
    return std::string(BookLayout::dataFileName(id));
}

AddressStore::NoticeHandler g_noticeHandler = nullptr;

// The journal keeps the last imports, enough for every command line that may still wait for an
// answer; a file larger than it could grow is no journal of ours.
constexpr std::size_t kJournalEntries = 64;
constexpr std::size_t kJournalLimit = 16384;

} // namespace

AddressStore::AddressStore(std::string applicationDirectory)
    : m_layout(std::move(applicationDirectory))
    , m_database(
          m_layout.databaseFolder(), std::vector<std::string>(std::begin(kCommittedFiles), std::end(kCommittedFiles)))
{ }

bool AddressStore::isBookFile(const std::string &path) const
{
    std::vector<std::string> files = {settingsPath()};
    for (const std::string_view name : {BookLayout::kDescriptionsFile, BookLayout::kMailsFile,
             BookLayout::kCommitRecord, BookLayout::kLockFile, BookLayout::kImportJournal})
        files.push_back(m_database.path() + std::string(name));
    return std::any_of(files.begin(), files.end(), [&](const std::string &file) { return sys::sameFile(path, file); });
}

// Before every read and write: whoever uses the store (the window, the command line) sees a pair
// in step, also after a save that was made but whose renames are still to be completed.
void AddressStore::recover()
{
    const std::optional<std::string> aside = m_database.recover();
    if (!aside)
        return;
    const std::string notice = "В папке адресной книги найдена повреждённая или чужая запись о прерванном "
                               "сохранении. Она ничего не изменила и отложена в файл «"
        + *aside + "»";
    if (g_noticeHandler != nullptr)
        g_noticeHandler(notice);
    else
        m_notices.push_back(notice);
}

void AddressStore::load(ListId id, LineList &list)
{
    recover();
    Bytes bytes;
    m_database.readFile(fileName(id), bytes);
    // A NUL ends the text: what follows it is not shown, but the file keeps it until it is
    // kept aside.
    const bool whole = beforeNul(std::string_view(bytes.data(), bytes.size())).size() == bytes.size();
    list.assignText(std::move(bytes));
    m_loaded[static_cast<int>(id)] = whole;
}

void AddressStore::readRecovered(ListId id, Bytes &bytes)
{
    m_database.readRecovered(fileName(id), bytes);
}

std::string AddressStore::readData(ListId id)
{
    recover();
    Bytes bytes;
    m_database.readFile(fileName(id), bytes);
    return std::string(bytes.begin(), bytes.end());
}

void AddressStore::save(ListId id, const LineList &list)
{
    Bytes text;
    list.toText(text);
    replaceData(id, std::string_view(text.data(), text.size()));
}

void AddressStore::replaceData(ListId id, std::string_view bytes)
{
    write({{id, bytes}});
}

void AddressStore::savePair(const LineList &descriptions, const LineList &mails, ListId first)
{
    savePair(descriptions, mails, first, {});
}

void AddressStore::savePair(
    const LineList &descriptions, const LineList &mails, ListId first, const std::string &importId)
{
    Bytes texts[2];
    descriptions.toText(texts[0]);
    mails.toText(texts[1]);
    const auto view = [&](ListId id) {
        const Bytes &text = texts[static_cast<int>(id)];
        return Write{id, std::string_view(text.data(), text.size())};
    };
    const ListId second = first == ListId::Mails ? ListId::Descriptions : ListId::Mails;
    write({view(first), view(second)}, importId);
}

bool AddressStore::isImportId(std::string_view text)
{
    return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
}

std::vector<std::string> AddressStore::importJournal()
{
    recover();
    const std::string path = m_database.path() + std::string(BookLayout::kImportJournal);
    if (sys::kindOf(path) == sys::Kind::Missing)
        return {};
    const std::string text = sys::readFile(path, kJournalLimit + 1);
    std::vector<std::string> ids;
    // Lines that are no identifier (a journal damaged or grown too large) are passed over.
    for (std::size_t from = 0; text.size() <= kJournalLimit && from < text.size();) {
        const std::size_t end = std::min(text.find('\n', from), text.size());
        const std::string line = text.substr(from, end - from);
        if (isImportId(line))
            ids.push_back(line);
        from = end + 1;
    }
    return ids;
}

bool AddressStore::hasImported(const std::string &importId)
{
    const std::vector<std::string> ids = importJournal();
    return std::find(ids.begin(), ids.end(), importId) != ids.end();
}

void AddressStore::replacePair(std::optional<std::string_view> descriptions, std::optional<std::string_view> mails)
{
    std::vector<Write> writes;
    if (descriptions)
        writes.push_back({ListId::Descriptions, *descriptions});
    if (mails)
        writes.push_back({ListId::Mails, *mails});
    write(writes);
}

void AddressStore::write(const std::vector<Write> &writes, const std::string &importId)
{
    recover();
    std::string journal;
    if (!importId.empty()) {
        std::vector<std::string> ids = importJournal();
        ids.push_back(importId);
        for (std::size_t i = ids.size() > kJournalEntries ? ids.size() - kJournalEntries : 0; i < ids.size(); ++i)
            journal += ids[i] + '\n';
    }
    std::vector<sys::Replacement> files;
    std::vector<KeptAside> kept;
    for (const Write &write : writes) {
        sys::Replacement file{fileName(write.id), write.bytes, {}};
        // A file not loaded whole is kept aside under a free name.
        if (!isLoaded(write.id) && m_database.kindOf(file.name) != sys::Kind::Missing) {
            const std::string base = file.name + ".unloaded-" + sys::localTimestamp();
            file.keepOldAs = base;
            for (int n = 2; m_database.kindOf(file.keepOldAs) != sys::Kind::Missing; ++n)
                file.keepOldAs = base + "-" + std::to_string(n);
            kept.push_back({m_database.path() + file.name, m_database.path() + file.keepOldAs});
        }
        files.push_back(std::move(file));
    }
    if (files.empty())
        return;
    if (!importId.empty())
        files.push_back({std::string(BookLayout::kImportJournal), journal, {}});
    m_database.replaceFiles(files);
    for (const Write &write : writes)
        m_loaded[static_cast<int>(write.id)] = true;
    m_keptAside.insert(m_keptAside.end(), kept.begin(), kept.end());
}

std::vector<AddressStore::KeptAside> AddressStore::takeKeptAside()
{
    return std::exchange(m_keptAside, {});
}

std::vector<std::string> AddressStore::takeNotices()
{
    return std::exchange(m_notices, {});
}

void AddressStore::setNoticeHandler(NoticeHandler handler)
{
    g_noticeHandler = handler;
}

} // namespace kvillo
