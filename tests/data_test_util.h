#pragma once

// Small helpers shared by the data tests: a scratch directory per test and whole-file access that
// does not go through the code under test.

#include "book/address_book.h"
#include "book/address_store.h"
#include "sys/system.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <map>
#include <functional>
#include <string>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testutil {

// A fresh directory, removed with everything in it when the object goes.
class ScratchDir
{
public:
    ScratchDir() { QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString())); }

    // The directory with a trailing '/', as the application directory is given.
    std::string path() const { return m_dir.path().toStdString() + '/'; }
    std::string path(std::string_view relative) const { return path() + std::string(relative); }

private:
    QTemporaryDir m_dir;
};

inline void writeFile(const std::string &path, std::string_view bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    QVERIFY2(file != nullptr, path.c_str());
    QCOMPARE(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    QCOMPARE(std::fclose(file), 0);
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string readFile(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return "<missing>";
    std::string bytes;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

inline void makeDir(const std::string &path)
{
    QVERIFY2(::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST, path.c_str());
}

// The names in a directory, without "." and "..".
inline QStringList entries(const std::string &directory)
{
    QStringList names;
    if (DIR *dir = ::opendir(directory.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            const QString name = QString::fromUtf8(entry->d_name);
            if (name != QLatin1String(".") && name != QLatin1String(".."))
                names << name;
        }
        ::closedir(dir);
    }
    names.sort();
    return names;
}

// Every entry of a directory with its bytes (a folder, or a file over 1 MiB, by what it is).
inline std::map<std::string, std::string> contentsOf(const std::string &directory)
{
    std::map<std::string, std::string> files;
    for (const QString &name : entries(directory)) {
        const std::string path = directory + '/' + name.toStdString();
        struct stat st
        { };
        ::stat(path.c_str(), &st);
        files[name.toStdString()] = S_ISDIR(st.st_mode) ? "<folder>"
            : st.st_size > (1 << 20)                    ? std::to_string(st.st_size) + " bytes"
                                                        : readFile(path);
    }
    return files;
}

inline QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// While it lives, the `nth` occurrence of `step` in replacing a file fails with `error` (through
// the system layer's test seam); the steps before and after it run.
class FailingStep
{
public:
    FailingStep(kvillo::sys::Step step, int nth, int error)
    {
        s_step = step;
        s_nth = nth;
        s_error = error;
        kvillo::sys::setStepHook(hook);
    }
    ~FailingStep() { kvillo::sys::setStepHook(nullptr); }
    FailingStep(const FailingStep &) = delete;
    FailingStep &operator=(const FailingStep &) = delete;

private:
    static int hook(kvillo::sys::Step step) { return step == s_step && --s_nth == 0 ? s_error : 0; }

    static inline kvillo::sys::Step s_step = kvillo::sys::Step::Write;
    static inline int s_nth = 0;
    static inline int s_error = 0;
};

// Both lists of the book in the store, as a start reads them.
inline kvillo::BookLists loadBook(kvillo::AddressStore &store)
{
    kvillo::BookLists book;
    store.load(kvillo::ListId::Descriptions, book.descriptions);
    store.load(kvillo::ListId::Mails, book.mails);
    return book;
}

// A local socket at `path`: listening there, or connected to it; -1 on failure.
inline int localSocket(const std::string &path, bool listening)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    const auto *any = reinterpret_cast<const sockaddr *>(&address);
    if (fd >= 0
        && (listening ? ::bind(fd, any, sizeof address) == 0 && ::listen(fd, 8) == 0
                      : ::connect(fd, any, sizeof address) == 0))
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

// What `fd` receives until its peer ends or is silent for `ms` (or, with `oneLine`, a line ends).
inline std::string receive(int fd, int ms, bool oneLine = false)
{
    std::string received;
    pollfd wait{fd, POLLIN, 0};
    char buffer[65536];
    for (ssize_t n; (!oneLine || received.find('\n') == std::string::npos) && ::poll(&wait, 1, ms) > 0
         && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        received.append(buffer, static_cast<std::size_t>(n));
    return received;
}

// A child process (of the user nobody, or ours) that plays another program: `body` says when it
// is set up, may wait until `release` is readable (the test lets it go), and returns its report.
class Child
{
public:
    static constexpr uid_t kNobody = 65534;
    Child(bool asNobody, const std::function<std::string(const std::function<void()> &ready, int release)> &body)
    {
        int ready[2], release[2], report[2];
        // Programs that either process starts get none of these.
        QVERIFY(::pipe2(ready, O_CLOEXEC) == 0 && ::pipe2(release, O_CLOEXEC) == 0 && ::pipe2(report, O_CLOEXEC) == 0);
        if ((m_pid = ::fork()) == 0) {
            ::close(release[1]);
            if (asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
                ::_exit(2);
            const std::string text = body([&] { (void)!::write(ready[1], "\n", 1); }, release[0]);
            (void)!::write(report[1], text.data(), text.size());
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        ::close(report[1]);
        m_ready = ready[0];
        m_release = release[1];
        m_report = report[0];
    }
    ~Child() { finish(); }

    pid_t pid() const { return m_pid; }
    int status() const { return m_status; }
    // Waits until the child has set itself up; false when it ended first (or hangs).
    bool waitReady() { return !receive(m_ready, 30000, true).empty(); }
    // Lets the child go and waits for its report, serving this process's events meanwhile. A child
    // still there after a minute is killed.
    std::string finish()
    {
        if (m_release >= 0 && ::close(std::exchange(m_release, -1)) == 0) {
            for (int waited = 0; ::waitpid(m_pid, &m_status, WNOHANG) == 0; waited += 5) {
                QCoreApplication::processEvents();
                ::poll(nullptr, 0, 5);
                if (waited == 60000)
                    ::kill(m_pid, SIGKILL);
            }
            m_text = receive(m_report, 0);
        }
        return m_text;
    }

private:
    pid_t m_pid = -1;
    int m_ready = -1, m_release = -1, m_report = -1, m_status = 0;
    std::string m_text;
};

} // namespace testutil
