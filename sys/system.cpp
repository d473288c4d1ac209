#include "system.h"

#include "errors.h"
#include "memory.h"
#include "system_shared.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>

namespace kvillo::sys {

namespace {

StepHook g_stepHook = nullptr;
int g_syncs = 0;

// The record: "kvillo-commit", then temporary, target and checksum of each file, then the checksum
// of all before it; every field ends with a NUL (no file name holds one), so a record cut short or
// damaged is seen as such.
constexpr std::string_view kRecordMagic = "kvillo-commit";

std::optional<std::vector<CommitEntry>> decodeRecord(std::string_view record)
{
    std::vector<std::string_view> fields;
    for (std::size_t from = 0; from < record.size();) {
        const std::size_t end = record.find('\0', from);
        if (end == std::string_view::npos)
            return std::nullopt;
        fields.push_back(record.substr(from, end - from));
        from = end + 1;
    }
    if (fields.size() < 5 || fields.front() != kRecordMagic || (fields.size() - 2) % 3 != 0)
        return std::nullopt;
    const std::string_view body = record.substr(0, record.size() - fields.back().size() - 1);
    if (fields.back() != std::to_string(checksum(body)))
        return std::nullopt;
    std::vector<CommitEntry> entries;
    for (std::size_t i = 1; i + 1 < fields.size(); i += 3) {
        const std::string_view digits = fields[i + 2];
        if (digits.empty() || digits.size() > 20)
            return std::nullopt;
        std::uint64_t sum = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9')
                return std::nullopt;
            sum = sum * 10 + static_cast<std::uint64_t>(c - '0');
        }
        entries.push_back({std::string(fields[i]), std::string(fields[i + 1]), sum});
    }
    return entries;
}

// Whether the record names only what this folder's saves write: the program's own temporaries
// and the commit names, each once, as plain names in the folder.
bool namesOnlyOurs(const std::vector<CommitEntry> &entries, const std::vector<std::string> &commitNames)
{
    std::vector<std::string_view> seen;
    for (const CommitEntry &entry : entries) {
        if (!isTemporaryName(std::string_view(entry.temporary))
            || std::find(commitNames.begin(), commitNames.end(), entry.target) == commitNames.end())
            return false;
        for (const std::string_view name : {std::string_view(entry.temporary), std::string_view(entry.target)}) {
            if (std::find(seen.begin(), seen.end(), name) != seen.end())
                return false;
            seen.push_back(name);
        }
    }
    return true;
}

// The name part of a name or path.
std::string baseName(const std::string &path)
{
    return path.substr(folderOf(path).size());
}

} // namespace

// A checksum of a file's bytes, eight at a time: enough to tell a complete temporary from a torn
// one or another file, not meant against tampering (the names a record may hold are).
std::uint64_t checksum(std::string_view bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ull ^ bytes.size();
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        hash = (hash ^ word) * 0x100000001b3ull;
        hash ^= hash >> 32;
    }
    for (; i < bytes.size(); ++i)
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 0x100000001b3ull;
    return hash;
}

std::string encodeCommitRecord(const std::vector<CommitEntry> &entries)
{
    std::string record(kRecordMagic);
    record += '\0';
    for (const CommitEntry &entry : entries) {
        for (const std::string &field : {entry.temporary, entry.target, std::to_string(entry.sum)}) {
            record += field;
            record += '\0';
        }
    }
    record += std::to_string(checksum(record));
    record += '\0';
    return record;
}

std::string trimErrorText(std::string text)
{
    while (!text.empty()) {
        const auto last = static_cast<unsigned char>(text.back());
        if (last > ' ' && last != '.')
            break;
        text.pop_back();
    }
    return text;
}

void *allocate(std::size_t bytes)
{
    if (bytes >= kLargeBlock)
        return allocatePages(bytes);
    void *block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void release(void *block, std::size_t bytes) noexcept
{
    if (block == nullptr)
        return;
    if (bytes >= kLargeBlock)
        releasePages(block, bytes);
    else
        std::free(block);
}

void setStepHook(StepHook hook)
{
    g_stepHook = hook;
}

int runStepHook(Step step)
{
    return g_stepHook != nullptr ? g_stepHook(step) : 0;
}

std::string readFile(const std::string &path, std::size_t limit)
{
    std::string bytes;
    readFileInto(-1, path, path, bytes, limit);
    return bytes;
}

void readFile(const std::string &path, Bytes &bytes, std::size_t limit)
{
    readFileInto(-1, path, path, bytes, limit);
}

bool countSync(bool flushed)
{
    g_syncs += flushed ? 1 : 0;
    return flushed;
}

int syncCount()
{
    return g_syncs;
}

void replaceFile(const std::string &path, std::string_view bytes)
{
    Folder folder(folderOf(path));
    folder.replaceFiles({{path.substr(folder.path().size()), bytes, {}}});
}

Folder::Folder(std::string path, std::vector<std::string> commitNames)
    : m_path(std::move(path))
    , m_commitNames(std::move(commitNames))
{ }

void Folder::replaceFiles(const std::vector<Replacement> &files)
{
    const bool committed = files.size() > 1;
    for (const Replacement &file : files) {
        if (committed && std::find(m_commitNames.begin(), m_commitNames.end(), file.name) == m_commitNames.end())
            throw std::logic_error("a file saved with others that is no commit name: " + file.name);
    }
    // Every new file whole on disk before anything is replaced; the first failure ends the save.
    std::vector<Pending> pending(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        writeTemporary(files[i].name, files[i].bytes,
            kFollowLinks | (files[i].keepOldAs.empty() ? 0u : unsigned(kMayBeDirectory)), pending[i]);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i].keepOldAs.empty())
            keepOld(pending[i].target, files[i].keepOldAs, files[i].name);
    }

    // The commit point: from the record on, the save is made whatever happens after.
    std::optional<Pending> record;
    if (committed) {
        std::vector<CommitEntry> entries;
        for (std::size_t i = 0; i < files.size(); ++i) {
            nameTemporary(pending[i]);
            entries.push_back({baseName(pending[i].temporary), files[i].name, checksum(files[i].bytes)});
        }
        record.emplace();
        writeTemporary(std::string(kCommitRecord), encodeCommitRecord(entries), 0, *record);
        int error = 0;
        if (!commitTemporary(*record, std::string(kCommitRecord), error))
            throw FileCreateError(m_path + files.front().name, errorText(error));
        flushFolder(std::string(kCommitRecord));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        int error = 0;
        if (commitTemporary(pending[i], pending[i].target, error))
            continue;
        if (!record)
            throw FileCreateError(m_path + files[i].name, errorText(error));
        // Committed: the record completes the renames, now if it can, or else at the next
        // recovery. The temporaries stay for it, unlocked.
        for (Pending &rest : pending)
            rest.renamed = true;
        pending.clear();
        record.reset();
        try {
            recover();
        } catch (const Error &) { }
        return;
    }
    std::vector<std::string> targets;
    for (const Pending &file : pending)
        targets.push_back(file.target);
    flushFoldersOf(targets);
    // A record left by a crash now names only renamed files: the next recovery just removes it.
    if (record) {
        runStepHook(Step::Remove);
        removeFile(std::string(kCommitRecord));
    }
}

// Once for the folder of the first target, and for any other folder a link led to.
void Folder::flushFoldersOf(const std::vector<std::string> &targets)
{
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (i == 0 || folderOf(targets[i]) != folderOf(targets[0]))
            flushFolder(targets[i]);
    }
}

void Folder::readForRecovery(const std::string &name, Bytes &bytes, std::size_t limit)
{
    try {
        if (const int error = runStepHook(Step::Read))
            throw FileOpenError(fullPath(m_path, name), errorText(error));
        readEntry(name, bytes, limit);
    } catch (const FileOpenError &e) {
        throw RecoveryError(m_path, e.what());
    }
}

struct Folder::CommitFile
{
    std::string temporary;
    std::string target;
    bool present = false; // not renamed yet
    bool complete = false; // present, and what the record says
    bool done = false; // renamed: the target is what the record says
};

std::optional<std::string> Folder::recover()
{
    if (m_commitNames.empty())
        return std::nullopt;
    const std::string record(kCommitRecord);
    const Kind kind = entryKind(record);
    if (kind == Kind::Missing) {
        removeLeftovers();
        return std::nullopt;
    }
    const std::optional<std::vector<CommitEntry>> entries = ownRecord(kind);
    if (!entries)
        return m_path + setAside(record);
    completeCommit(*entries);
    return std::nullopt;
}

std::optional<std::vector<CommitEntry>> Folder::ownRecord(Kind kind)
{
    std::optional<std::vector<CommitEntry>> entries;
    if (kind == Kind::File) {
        Bytes bytes;
        readForRecovery(std::string(kCommitRecord), bytes, kMaxRecordBytes + 1);
        if (bytes.size() <= kMaxRecordBytes)
            entries = decodeRecord(std::string_view(bytes.data(), bytes.size()));
    }
    if (entries && !namesOnlyOurs(*entries, m_commitNames))
        entries.reset();
    return entries;
}

void Folder::readRecovered(const std::string &name, Bytes &bytes)
{
    const Kind kind = m_commitNames.empty() ? Kind::Missing : entryKind(std::string(kCommitRecord));
    if (kind != Kind::Missing) {
        if (const std::optional<std::vector<CommitEntry>> entries = ownRecord(kind)) {
            bool forward = false;
            const std::vector<CommitFile> files = planCommit(*entries, false, forward);
            for (std::size_t i = 0; forward && i < files.size(); ++i) {
                if ((*entries)[i].target == name && files[i].complete) {
                    readForRecovery(files[i].temporary, bytes, std::numeric_limits<std::size_t>::max());
                    return;
                }
            }
        }
    }
    readFile(name, bytes);
}

// Nothing the record names is touched: it goes under a name that says what it is, for the user
// to look at. Its temporaries stay with it (no leftover goes while it is there).
std::string Folder::setAside(const std::string &record)
{
    const std::string base = record + ".rejected-" + localTimestamp();
    std::string aside = base;
    for (int n = 2; entryKind(aside) != Kind::Missing; ++n)
        aside = base + "-" + std::to_string(n);
    int error = 0;
    if (!moveFile(record, aside, error))
        throw RecoveryError(m_path, FileCreateError(m_path + aside, errorText(error)).what());
    flushFolder(record);
    return aside;
}

std::vector<Folder::CommitFile> Folder::planCommit(
    const std::vector<CommitEntry> &entries, bool acting, bool &forward)
{
    using File = CommitFile;
    std::vector<File> files;
    Bytes bytes;
    for (const CommitEntry &entry : entries) {
        File file;
        try {
            file.target = resolveTarget(entry.target);
        } catch (const Error &e) {
            throw RecoveryError(m_path, e.what());
        }
        file.temporary = folderOf(file.target) + entry.temporary;
        const Kind kind = entryKind(file.temporary);
        file.present = kind != Kind::Missing;
        if (kind == Kind::File) {
            if (acting && isHeld(file.temporary))
                throw RecoveryError(m_path, "\"" + fullPath(m_path, file.temporary) + "\" ещё записывается");
            readForRecovery(file.temporary, bytes, std::numeric_limits<std::size_t>::max());
            file.complete = checksum(std::string_view(bytes.data(), bytes.size())) == entry.sum;
        } else if (!file.present && entryKind(file.target) == Kind::File) {
            readForRecovery(file.target, bytes, std::numeric_limits<std::size_t>::max());
            file.done = checksum(std::string_view(bytes.data(), bytes.size())) == entry.sum;
        }
        files.push_back(std::move(file));
    }

    forward = std::all_of(files.begin(), files.end(), [](const File &f) { return f.complete || f.done; });
    // Undone only while nothing is renamed: then every old file is still in place.
    const bool back = std::all_of(files.begin(), files.end(), [](const File &f) { return f.present; });
    if (!forward && !back) {
        const File &lost
            = *std::find_if(files.begin(), files.end(), [](const File &f) { return !f.complete && !f.done; });
        throw RecoveryError(m_path,
            "нет ни \"" + fullPath(m_path, lost.temporary) + "\", ни нового \"" + fullPath(m_path, lost.target) + "\"");
    }
    return files;
}

void Folder::completeCommit(const std::vector<CommitEntry> &entries)
{
    using File = CommitFile;
    bool forward = false;
    const std::vector<File> files = planCommit(entries, true, forward);
    if (forward) {
        for (const File &file : files) {
            int error = 0;
            if (file.complete && !moveFile(file.temporary, file.target, error))
                throw RecoveryError(m_path, FileCreateError(fullPath(m_path, file.target), errorText(error)).what());
        }
        std::vector<std::string> targets;
        for (const File &file : files)
            targets.push_back(file.target);
        flushFoldersOf(targets);
    }
    // The record goes for good before any temporary it names: a crash in between leaves the
    // record with all of them, or mere leftovers.
    runStepHook(Step::Remove);
    removeFile(std::string(kCommitRecord));
    flushFolder(std::string(kCommitRecord));
    // Only the program's own files go: something else under a temporary's name stays.
    for (const File &file : files) {
        if (!forward && entryKind(file.temporary) == Kind::File && !isHeld(file.temporary))
            removeFile(file.temporary);
    }
    removeLeftovers();
}

} // namespace kvillo::sys

// ---- The address book's lock ----
#include <algorithm>

namespace kvillo::sys {

std::string ownerRecord()
{
    // A line break in a name would start a line of its own.
    auto oneLine = [](std::string text) {
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
        return text;
    };
    return "host=" + oneLine(hostName()) + "\npid=" + std::to_string(processId()) + "\nuser=" + oneLine(userName())
        + "\nstarted=" + localTimestamp() + "\n";
}

LockHolder parseOwnerRecord(std::string_view record)
{
    LockHolder holder;
    while (!record.empty()) {
        const std::string_view line = record.substr(0, record.find('\n'));
        record.remove_prefix(std::min(record.size(), line.size() + 1));
        const std::size_t equals = line.find('=');
        const std::string_view name = line.substr(0, equals);
        std::string value(equals == std::string_view::npos ? std::string_view() : line.substr(equals + 1));
        while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ')
            value.pop_back();
        if (name == "host")
            holder.host = value;
        else if (name == "pid")
            holder.process = value;
        else if (name == "user")
            holder.user = value;
    }
    // A field not written yet (the holder has only just taken the lock) rules nothing out.
    if (!holder.host.empty() && holder.host != hostName())
        holder.kind = LockHolder::Kind::Elsewhere;
    else if (!holder.user.empty() && holder.user != userName())
        holder.kind = LockHolder::Kind::AnotherUser;
    return holder;
}

} // namespace kvillo::sys
