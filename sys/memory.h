#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace kvillo {

namespace sys {
// Memory for large blocks straight from the system (in huge pages where it offers them), for
// small ones from the heap. `release` takes the size given to `allocate`.
void *allocate(std::size_t bytes);
void release(void *block, std::size_t bytes) noexcept;
} // namespace sys

// An allocator for the address book's big arrays: large blocks from the system, and elements
// default-initialised, so a buffer grown to take a file is not zero-filled first.
template <typename T> struct LargeAllocator
{
    using value_type = T;

    LargeAllocator() = default;
    template <typename U> LargeAllocator(const LargeAllocator<U> &) noexcept { }

    T *allocate(std::size_t n) { return static_cast<T *>(sys::allocate(n * sizeof(T))); }
    void deallocate(T *block, std::size_t n) noexcept { sys::release(block, n * sizeof(T)); }

    template <typename U> void construct(U *where) noexcept { ::new (static_cast<void *>(where)) U; }
    template <typename U, typename... Args> void construct(U *where, Args &&...args)
    {
        ::new (static_cast<void *>(where)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const LargeAllocator &, const LargeAllocator &) { return true; }
};

using Bytes = std::vector<char, LargeAllocator<char>>;

} // namespace kvillo
