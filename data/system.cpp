#include "system.h"

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

void setStepHook(StepHook hook)
{
    g_stepHook = hook;
}

int runStepHook(Step step)
{
    return g_stepHook != nullptr ? g_stepHook(step) : 0;
}

} // namespace kvillo::sys
