#include "desktop/guard.h"

#include "desktop/platform.h"

#include <new>

namespace kvillo {

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showException(Platform &platform, std::exception_ptr error)
{
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const std::bad_alloc &) {
        message = QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    try {
        platform.showError(errorBoxText(message));
    } catch (...) {
        // Nothing more can be told to the user.
    }
}

} // namespace kvillo
