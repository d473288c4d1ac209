// The callbacks of -fsanitize-coverage=trace-loads, with which the libraries are compiled in the
// fuzz build: each counts one load (see work_count.h).

#include "work_count.h"

namespace {

std::uint64_t g_loads = 0;

} // namespace

namespace fuzz {

std::uint64_t loadsSoFar()
{
    return g_loads;
}

} // namespace fuzz

extern "C" {
void __sanitizer_cov_load1(std::uint8_t *)
{
    ++g_loads;
}
void __sanitizer_cov_load2(std::uint16_t *)
{
    ++g_loads;
}
void __sanitizer_cov_load4(std::uint32_t *)
{
    ++g_loads;
}
void __sanitizer_cov_load8(std::uint64_t *)
{
    ++g_loads;
}
void __sanitizer_cov_load16(__int128 *)
{
    ++g_loads;
}
}
