#include "system.h"

#include "errors.h"
#include "memory.h"
#include "system_shared.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

namespace kvillo::sys {

namespace {

StepHook g_stepHook = nullptr;
int g_syncs = 0;

// A checksum of a file's bytes, eight at a time: enough to tell a complete temporary from a torn
// one or another file, not meant against tampering.
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

// One line of a commit record: the temporary, the file it replaces, and the temporary's checksum.
struct RecordEntry
{
    std::string temporary;
    std::string target;
    std::uint64_t sum = 0;
};

// The record: "kvillo-commit", then temporary, target and checksum of each file, then the checksum
// of all before it; every field ends with a NUL (no file name holds one), so a record cut short or
// damaged is seen as such.
std::string encodeRecord(const std::vector<RecordEntry> &entries)
{
    std::string record = "kvillo-commit";
    record += '\0';
    for (const RecordEntry &entry : entries) {
        for (const std::string &field : {entry.temporary, entry.target, std::to_string(entry.sum)}) {
            record += field;
            record += '\0';
        }
    }
    record += std::to_string(checksum(record));
    record += '\0';
    return record;
}

std::optional<std::vector<RecordEntry>> decodeRecord(std::string_view record)
{
    std::vector<std::string_view> fields;
    for (std::size_t from = 0; from < record.size();) {
        const std::size_t end = record.find('\0', from);
        if (end == std::string_view::npos)
            return std::nullopt;
        fields.push_back(record.substr(from, end - from));
        from = end + 1;
    }
    if (fields.size() < 2 || fields.front() != "kvillo-commit" || (fields.size() - 2) % 3 != 0)
        return std::nullopt;
    const std::string_view body = record.substr(0, record.size() - fields.back().size() - 1);
    if (fields.back() != std::to_string(checksum(body)))
        return std::nullopt;
    std::vector<RecordEntry> entries;
    for (std::size_t i = 1; i + 1 < fields.size(); i += 3) {
        std::uint64_t sum = 0;
        for (const char c : fields[i + 2]) {
            if (c < '0' || c > '9')
                return std::nullopt;
            sum = sum * 10 + static_cast<std::uint64_t>(c - '0');
        }
        entries.push_back({std::string(fields[i]), std::string(fields[i + 1]), sum});
    }
    return entries;
}

} // namespace

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

void Folder::replaceFiles(const std::vector<Replacement> &files)
{
    recover();
    // Every new file whole on disk before anything is replaced; the first failure ends the save.
    std::vector<Pending> pending(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
        writeTemporary(files[i].name, files[i].bytes, !files[i].keepOldAs.empty(), pending[i]);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i].keepOldAs.empty())
            keepOld(pending[i].target, files[i].keepOldAs, files[i].name);
    }

    // From the record on, a crash completes the save at the next start instead of losing it.
    std::optional<Pending> record;
    if (files.size() > 1) {
        std::vector<RecordEntry> entries;
        for (std::size_t i = 0; i < files.size(); ++i)
            entries.push_back({pending[i].temporary, pending[i].target, checksum(files[i].bytes)});
        record.emplace();
        writeTemporary(std::string(kCommitRecord), encodeRecord(entries), false, *record);
        int error = 0;
        if (!moveFile(record->temporary, std::string(kCommitRecord), error))
            throw FileCreateError(m_path + files.front().name, errorText(error));
        record->renamed = true;
        flushFolder(std::string(kCommitRecord));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        int error = 0;
        if (!moveFile(pending[i].temporary, pending[i].target, error)) {
            if (record && i > 0) {
                // Part of the pair is replaced: the rest stays for the next start to complete.
                for (Pending &rest : pending)
                    rest.renamed = true;
            } else if (record) {
                removeFile(std::string(kCommitRecord));
            }
            throw FileCreateError(m_path + files[i].name, errorText(error));
        }
        pending[i].renamed = true;
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i == 0 || folderOf(pending[i].target) != folderOf(pending[0].target))
            flushFolder(pending[i].target);
    }
    if (record) {
        runStepHook(Step::Remove);
        removeFile(std::string(kCommitRecord));
    }
}

void Folder::recover()
{
    Bytes bytes;
    if (kindOf(std::string(kCommitRecord)) != Kind::Missing) {
        std::optional<std::vector<RecordEntry>> entries;
        try {
            readFile(std::string(kCommitRecord), bytes);
            entries = decodeRecord(std::string_view(bytes.data(), bytes.size()));
        } catch (const Error &) { }
        // Forward only when every file is either its complete temporary or already renamed.
        bool forward = entries.has_value();
        std::vector<bool> toRename;
        for (const RecordEntry &entry : entries ? *entries : std::vector<RecordEntry>()) {
            const auto sumOf = [&](const std::string &name) -> std::optional<std::uint64_t> {
                try {
                    readFile(name, bytes);
                    return checksum(std::string_view(bytes.data(), bytes.size()));
                } catch (const Error &) {
                    return std::nullopt;
                }
            };
            const bool present = kindOf(entry.temporary) == Kind::File && sumOf(entry.temporary) == entry.sum;
            forward = forward && (present || sumOf(entry.target) == entry.sum);
            toRename.push_back(present);
        }
        bool completed = true;
        for (std::size_t i = 0; entries && i < entries->size(); ++i) {
            int error = 0;
            const RecordEntry &entry = (*entries)[i];
            if (!forward)
                removeFile(entry.temporary);
            else if (toRename[i] && completed)
                completed = moveFile(entry.temporary, entry.target, error);
            flushFolder(entry.target);
        }
        // A rename that fails now (a folder made read-only) is tried again at the next start.
        if (!completed)
            return;
        removeFile(std::string(kCommitRecord));
        flushFolder(std::string(kCommitRecord));
    }
    removeLeftovers(std::string());
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
