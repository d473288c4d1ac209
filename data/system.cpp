#include "system.h"

#include "memory.h"
#include "system_shared.h"

#include <cstdlib>
#include <new>

namespace kvillo::sys {

namespace {
StepHook g_stepHook = nullptr;
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

} // namespace kvillo::sys
