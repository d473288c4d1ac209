#pragma once

#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <type_traits>
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

// Connects `signal` to `handler` run through the guard. The handler is a member function of
// `receiver` or a callable; it takes the signal's arguments or none.
template <typename Sender, typename Signal, typename Receiver, typename Handler>
QMetaObject::Connection connectGuarded(
    Platform &platform, Sender *sender, Signal signal, Receiver *receiver, Handler handler)
{
    return QObject::connect(sender, signal, receiver, [&platform, receiver, handler](auto &&...args) {
        guarded(platform, [&] {
            if constexpr (std::is_member_function_pointer_v<Handler>) {
                if constexpr (std::is_invocable_v<Handler, Receiver *, decltype(args)...>)
                    std::invoke(handler, receiver, args...);
                else
                    std::invoke(handler, receiver);
            } else if constexpr (std::is_invocable_v<Handler, decltype(args)...>) {
                handler(args...);
            } else {
                handler();
            }
        });
    });
}

} // namespace kvillo
