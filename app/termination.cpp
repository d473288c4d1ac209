#include "app/termination.h"

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kvillo {

#ifdef Q_OS_UNIX
namespace {

// A signal handler may do next to nothing: it writes a byte that the event loop then reads.
int g_signalSocket[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalSocket[0], &byte, 1);
}

} // namespace
#endif

TerminationWatch::TerminationWatch(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (g_signalSocket[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalSocket) != 0)
        return;
    for (const int fd : g_signalSocket) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    auto *notifier = new QSocketNotifier(g_signalSocket[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_signalSocket[1], bytes, sizeof bytes) > 0) { }
        m_requested = true;
        emit requested();
    });
    struct sigaction action
    { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
#endif
}

TerminationWatch::~TerminationWatch()
{
#ifdef Q_OS_UNIX
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::signal(signal, SIG_DFL);
#endif
}

} // namespace kvillo
