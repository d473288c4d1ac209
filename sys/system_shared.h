#pragma once

// For the system files only: what their POSIX and Windows branches share.

#include "system.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <string>

namespace kvillo::sys {

// A temporary file written for a Folder::replaceFiles, and the file it is to replace. Until it is
// done with, the temporary stays locked (a save in progress, not a leftover); unless it was renamed,
// it goes when this goes.
struct Folder::Pending
{
    Folder *folder = nullptr;
    // Relative to the folder, or a full path; empty while the file has no name yet (POSIX).
    std::string temporary;
    std::string target; // the file replaced (a link's target), relative to the folder or a full path
    std::intptr_t lock = -1; // POSIX: the temporary, open and locked
    bool renamed = false;
    ~Pending();
};

// The names the saves of a folder use: temporaries are the prefix and six letters or digits; the
// commit record of a save of several files has a name of its own, and keeps it with a suffix when
// it is set aside.
constexpr std::string_view kTemporaryPrefix = ".kvillo-save-";
constexpr std::size_t kTemporaryNameLength = kTemporaryPrefix.size() + 6;
constexpr std::string_view kTemporaryAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
// A record is tiny: anything larger is not one of ours.
constexpr std::size_t kMaxRecordBytes = 4096;

template <typename Char> bool isTemporaryName(std::basic_string_view<Char> name)
{
    if (name.size() != kTemporaryNameLength)
        return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned long>(name[i]);
        const bool fits = i < kTemporaryPrefix.size()
            ? c == static_cast<unsigned char>(kTemporaryPrefix[i])
            : c < 128 && kTemporaryAlphabet.find(static_cast<char>(c)) != std::string_view::npos;
        if (!fits)
            return false;
    }
    return true;
}

// A commit record, live or set aside: while one is in a folder, its temporaries may be needed.
template <typename Char> bool isRecordName(std::basic_string_view<Char> name)
{
    if (name.size() < kCommitRecord.size())
        return false;
    return std::equal(kCommitRecord.begin(), kCommitRecord.end(), name.begin(), [](char a, Char b) {
        return static_cast<unsigned long>(static_cast<unsigned char>(a)) == static_cast<unsigned long>(b);
    });
}

// The folder part of a name or path ("" for a bare name), with its trailing separator.
inline std::string folderOf(const std::string &name)
{
    const auto separator = name.find_last_of(pathSeparator == '/' ? "/" : "/\\");
    return separator == std::string::npos ? std::string() : name.substr(0, separator + 1);
}

// A name a folder gave out (relative to it, or a full path) as a full path, for messages.
inline std::string fullPath(const std::string &folder, const std::string &name)
{
    const bool full = !name.empty() && (name[0] == '/' || name[0] == '\\' || (name.size() > 1 && name[1] == ':'));
    return full ? name : folder + name;
}

// Reads a file of `sizeHint` bytes (its size when it was opened), or its first `limit` bytes, into
// `bytes` through `readSome(into, room)`, which returns how many bytes it read (0 at the end).
template <typename Container, typename ReadSome>
void readWhole(Container &bytes, std::size_t sizeHint, std::size_t limit, ReadSome &&readSome)
{
    bytes.clear();
    std::size_t used = 0;
    std::size_t capacity = std::min(sizeHint, limit);
    // Room to grow: entries added after a load then find space without moving the whole book.
    bytes.reserve(capacity + std::min<std::size_t>(capacity / 64, 1u << 20) + 4096);
    for (;;) {
        if (used == capacity) {
            if (used >= limit)
                break;
            // A file read up to its size is nearly always at its end. Ask with a small read first:
            // growing the buffer only to learn that would copy the whole file once more.
            char probe[4096];
            const std::size_t n = readSome(probe, std::min(sizeof probe, limit - used));
            if (n == 0)
                break;
            // The file grew while it was read, or its size was unknown: read on in larger steps.
            capacity = std::min(limit, std::max<std::size_t>(capacity * 2, 64 * 1024));
            bytes.resize(capacity);
            std::memcpy(bytes.data() + used, probe, n);
            used += n;
            continue;
        }
        bytes.resize(capacity);
        const std::size_t n = readSome(bytes.data() + used, capacity - used);
        if (n == 0)
            break;
        used += n;
    }
    bytes.resize(used);
}

// A file opened for reading by the system's branch: without waiting (a FIFO never blocks), and only
// a regular file (a device is never read without limit); a link is followed unless `follow` is
// false, when it is refused. `folder` is an open folder the name is relative to (POSIX), or -1 for
// a path. Errors throw FileOpenError naming `path`.
class Reader
{
public:
    Reader(std::intptr_t folder, const std::string &name, const std::string &path, bool follow = true);
    ~Reader();
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;
    // The size when it was opened.
    std::size_t size() const { return m_size; }
    // Up to `room` bytes; 0 at the end.
    std::size_t read(char *into, std::size_t room);

private:
    std::intptr_t m_handle = -1;
    std::size_t m_size = 0;
    std::string m_path;
};

template <typename Container>
void readFileInto(std::intptr_t folder, const std::string &name, const std::string &path, Container &bytes,
    std::size_t limit = std::numeric_limits<std::size_t>::max(), bool follow = true)
{
    Reader reader(folder, name, path, follow);
    readWhole(bytes, reader.size(), limit, [&](char *into, std::size_t room) { return reader.read(into, room); });
}

// Passes on whether a flush to disk succeeded, counting it if it did (see syncCount): the flush
// is the argument, so no flush is counted that was not made.
bool countSync(bool flushed);

// Who a lock file's record (see ownerRecord) names, and whether that is this user here.
LockHolder parseOwnerRecord(std::string_view record);

// Blocks from this size up come straight from the system (whole pages, given back at once).
constexpr std::size_t kLargeBlock = 4u * 1024 * 1024;
void *allocatePages(std::size_t bytes);
void releasePages(void *block, std::size_t bytes) noexcept;

} // namespace kvillo::sys
