#pragma once

#include <QString>

#include <exception>
#include <utility>

namespace kvillo {

class Platform;

// The text of the default error box: the message with "." appended when it is not empty and its
// last character sorts after ".".
QString errorBoxText(const QString &message);

void showException(Platform &platform, std::exception_ptr error);

// Runs one event handler. Exceptions must not cross Qt's event loop: whatever the handler throws
// is shown in the default error box and the program goes on. True when the handler completed.
template <typename Handler> bool guarded(Platform &platform, Handler &&handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
        return true;
    } catch (...) {
        showException(platform, std::current_exception());
        return false;
    }
}

} // namespace kvillo
