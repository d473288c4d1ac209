#pragma once

// For the system files only: what their POSIX and Windows branches share.

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace kvillo::sys {

// Blocks from this size up come straight from the system (whole pages, given back at once).
constexpr std::size_t kLargeBlock = 4u * 1024 * 1024;
void *allocatePages(std::size_t bytes);
void releasePages(void *block, std::size_t bytes) noexcept;

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

} // namespace kvillo::sys
