#pragma once

// The work a reader does, counted the same on every run: the libraries of the fuzz build are
// compiled to report each load from memory their code makes, and every load is one unit. A reader
// whose count grows faster than its input (a scan over all that was read, repeated for each new
// line) fails the check on inputs shaped for it, however fast or busy the machine is. Loads
// made inside the C library (memchr, memcpy) are not seen; the loops that call them are.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Loads made by the libraries so far.
std::uint64_t loadsSoFar();

// Aborts, when it goes out of scope, if the libraries have made more loads since it was made
// than a linear reader makes on `size` bytes: `perByte` a byte and `fixed` besides (tables built
// on first use, the first buffers). The bounds are generous, several times what the readers
// make on any input; a quadratic reader exceeds them by far on inputs of some kilobytes.
class LinearWork
{
public:
    LinearWork(std::size_t size, std::uint64_t perByte, std::uint64_t fixed)
        : m_size(size)
        , m_start(loadsSoFar())
        , m_limit(fixed + perByte * size)
    { }
    ~LinearWork()
    {
        const std::uint64_t loads = loadsSoFar() - m_start;
        if (loads > m_limit) {
            std::fprintf(stderr, "fuzz: %llu loads for %zu bytes, more than the %llu a linear reader may make\n",
                static_cast<unsigned long long>(loads), m_size, static_cast<unsigned long long>(m_limit));
            std::abort();
        }
    }
    LinearWork(const LinearWork &) = delete;
    LinearWork &operator=(const LinearWork &) = delete;

private:
    std::size_t m_size;
    std::uint64_t m_start;
    std::uint64_t m_limit;
};

} // namespace fuzz
