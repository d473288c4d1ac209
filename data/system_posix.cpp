#include "system.h"

#include "errors.h"
#include "memory.h"
#include "system_shared.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace kvillo::sys {

const char pathSeparator = '/';

namespace {

// Runs the test hook before a step of replacing a file; false (with errno set) to fail the step.
bool beforeStep(Step step)
{
    if (const int error = runStepHook(step)) {
        errno = error;
        return false;
    }
    return true;
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    { }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

std::string directoryOf(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

// A symbolic link to a data file is followed, so that the file it names is the one replaced.
std::string resolveLink(const std::string &path)
{
    struct stat st
    { };
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return path;
    return resolved;
}

constexpr std::string_view kTemporaryPrefix = ".kvillo-save-";

// A save cut short by a crash or a power cut leaves its temporary file behind. The file being
// written by a running save is locked, so only the leftovers of dead processes are removed.
void removeStaleTemporaries(const std::string &directory)
{
    DIR *dir = ::opendir(directory.c_str());
    if (dir == nullptr)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (!name.starts_with(kTemporaryPrefix) || name.size() != kTemporaryPrefix.size() + 6)
            continue;
        const std::string path = directory + std::string(name);
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st
        { };
        if (fd.get() >= 0 && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)
            && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str());
    }
    ::closedir(dir);
}

mode_t creationMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

std::string executablePath()
{
    std::string buffer(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0)
        return {};
    buffer.resize(static_cast<std::size_t>(n));
    return buffer;
}

std::string homeDirectory()
{
    const char *home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    const passwd *entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_dir != nullptr && entry->pw_dir[0] == '/' ? entry->pw_dir : "";
}

bool makeDirectory(const std::string &path, int &error)
{
    if (::mkdir(path.c_str(), 0700) == 0)
        return true;
    error = errno;
    return false;
}

bool removePath(const std::string &path, int &error)
{
    if (std::remove(path.c_str()) == 0)
        return true;
    error = errno;
    return false;
}

std::string errorText(int code)
{
    return trimErrorText(std::strerror(code));
}

namespace {

template <typename Container> void readInto(const std::string &path, Container &bytes, std::size_t limit)
{
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw FileOpenError(path, errorText(errno));
    struct stat st
    { };
    if (::fstat(fd.get(), &st) != 0)
        throw FileOpenError(path, errorText(errno));
    if (S_ISDIR(st.st_mode))
        throw FileOpenError(path, errorText(EISDIR));

    const std::size_t size = S_ISREG(st.st_mode) ? static_cast<std::size_t>(st.st_size) : 0;
    readWhole(bytes, size, limit, [&](char *into, std::size_t room) -> std::size_t {
        for (;;) {
            const ssize_t n = ::read(fd.get(), into, room);
            if (n >= 0)
                return static_cast<std::size_t>(n);
            if (errno != EINTR)
                throw FileOpenError(path, errorText(errno));
        }
    });
}

} // namespace

std::string readFile(const std::string &path, std::size_t limit)
{
    std::string bytes;
    readInto(path, bytes, limit);
    return bytes;
}

void readFile(const std::string &path, Bytes &bytes, std::size_t limit)
{
    readInto(path, bytes, limit);
}

void *allocatePages(std::size_t bytes)
{
    void *block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    // Huge pages: a big book is read without a page fault every 4 KiB.
    ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

void releasePages(void *block, std::size_t bytes) noexcept
{
    ::munmap(block, bytes);
}

void replaceFile(const std::string &path, std::string_view bytes)
{
    const std::string target = resolveLink(path);
    struct stat st
    { };
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode))
        throw FileCreateError(path, errorText(EISDIR));
    // A file the user made read-only is not ours to replace.
    if (exists && ::access(target.c_str(), W_OK) != 0)
        throw FileCreateError(path, errorText(errno));

    const std::string directory = directoryOf(target);
    removeStaleTemporaries(directory);
    std::string temporary = directory + std::string(kTemporaryPrefix) + "XXXXXX";
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0)
        throw FileCreateError(path, errorText(errno));
    ::fcntl(fd.get(), F_SETFD, FD_CLOEXEC);
    // Locked until the save is over, also after `fd` is closed, so that a save in this directory
    // by another process does not take the file for a leftover.
    ::flock(fd.get(), LOCK_EX);
    const FileDescriptor lock(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));

    auto fail = [&](auto error) {
        ::close(fd.release());
        ::unlink(temporary.c_str());
        throw error;
    };
    ::fchmod(fd.get(), exists ? (st.st_mode & 07777) : creationMode());
    if (!beforeStep(Step::Write) || !writeAll(fd.get(), bytes) || !beforeStep(Step::Sync) || ::fsync(fd.get()) != 0)
        fail(StreamWriteError());
    if (::close(fd.release()) != 0) {
        ::unlink(temporary.c_str());
        throw StreamWriteError();
    }
    if (!beforeStep(Step::Rename) || ::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        throw FileCreateError(path, errorText(error));
    }
    FileDescriptor dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0 && beforeStep(Step::Sync))
        ::fsync(dir.get());
}

Kind kindOf(const std::string &path)
{
    struct stat st
    { };
    if (::stat(path.c_str(), &st) != 0)
        return Kind::Missing;
    if (S_ISREG(st.st_mode))
        return Kind::File;
    if (S_ISDIR(st.st_mode))
        return Kind::Directory;
    return Kind::Other;
}

bool renamePath(const std::string &from, const std::string &to, int &error)
{
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    error = errno;
    return false;
}

std::string localTimestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

} // namespace kvillo::sys
