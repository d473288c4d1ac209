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
#include <csignal>
#include <cstdlib>
#include <limits>
#include <vector>

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

// What `name` stands for once its symbolic links are followed, each relative to the folder of the
// link; false (with `error`) when that goes wrong. A name that does not exist stands for itself; a
// link to nothing is ENOENT, a link to anything but a file or folder EINVAL. A link is followed
// only where the link, the folder that holds it and what it leads to have one owner (the rule of
// the kernel's protected_symlinks, here in every folder): a link someone else could make or change
// would send the program's write (as root, too) to a file of their choosing. It is refused with
// EACCES.
bool resolveLinks(int dir, std::string &name, int &error)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat link
        { };
        if (::fstatat(dir, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) {
            error = errno;
            return error == ENOENT && depth == 0;
        }
        if (!S_ISLNK(link.st_mode))
            return true;
        char target[PATH_MAX];
        const ssize_t n = ::readlinkat(dir, name.c_str(), target, sizeof target);
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) {
            error = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        struct stat folder
        { };
        struct stat leadsTo
        { };
        const std::string holder = folderOf(name);
        if (::fstatat(dir, holder.empty() ? "." : holder.c_str(), &folder, 0) != 0
            || ::fstatat(dir, name.c_str(), &leadsTo, 0) != 0) {
            error = errno;
            return false;
        }
        if (!S_ISREG(leadsTo.st_mode) && !S_ISDIR(leadsTo.st_mode)) {
            error = EINVAL;
            return false;
        }
        if (link.st_uid != folder.st_uid || link.st_uid != leadsTo.st_uid) {
            error = EACCES;
            return false;
        }
        name = target[0] == '/' ? std::string(target, static_cast<std::size_t>(n))
                                : holder + std::string(target, static_cast<std::size_t>(n));
    }
    error = ELOOP;
    return false;
}

// A folder of `dir` opened as a directory ("" is `dir` itself).
int openFolder(int dir, const std::string &folder)
{
    return ::openat(dir, folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Whether another open file (a save in progress, of this process or another) holds the lock on
// the file; false when it cannot be opened.
bool lockedByAnother(int dir, const std::string &name)
{
    const FileDescriptor file(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    return file.get() >= 0 && ::flock(file.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// A save cut short by a crash or a power cut leaves its temporary file behind. The file being
// written by a running save is locked, so only the leftovers of dead processes are removed, and
// none while a commit record, live or set aside, may still need them.
void removeStaleTemporaries(int dir)
{
    const int fd = openFolder(dir, std::string());
    DIR *listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (listing == nullptr) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    std::vector<std::string> leftovers;
    bool record = false;
    while (const dirent *entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        record = record || isRecordName(name);
        if (isTemporaryName(name))
            leftovers.emplace_back(name);
    }
    ::closedir(listing);
    for (const std::string &name : record ? std::vector<std::string>() : leftovers) {
        FileDescriptor file(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st
        { };
        if (file.get() >= 0 && ::fstat(file.get(), &st) == 0 && S_ISREG(st.st_mode)
            && ::flock(file.get(), LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(dir, name.c_str(), 0);
    }
}

// A file the program makes holds entries (a book, a backup, an export): it is its owner's alone.
constexpr mode_t kCreationMode = 0600;

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

// Runs the test hook and flushes the file or directory to disk.
bool flushToDisk(int fd)
{
    return beforeStep(Step::Sync) && countSync(::fsync(fd) == 0);
}

// A file written past the file size limit (ulimit -f) fails with EFBIG, as a full disk fails a
// write, instead of ending the process.
void ignoreFileSizeSignal()
{
    static const bool ignored = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
    (void)ignored;
}

// A fresh temporary name in `folder`, another one at each call.
std::string temporaryName(const std::string &folder)
{
    static unsigned counter = 0;
    const auto seed
        = static_cast<unsigned long long>(::getpid()) << 32 ^ static_cast<unsigned long long>(std::time(nullptr));
    unsigned long long value = seed * 6364136223846793005ull + ++counter * 1442695040888963407ull;
    value ^= value >> 29;
    std::string name = folder + std::string(kTemporaryPrefix);
    for (int i = 0; i < 6; ++i, value /= kTemporaryAlphabet.size())
        name += kTemporaryAlphabet[value % kTemporaryAlphabet.size()];
    return name;
}

// Whether a nameless file can later be given a name (through /proc).
bool canNameOpenFiles()
{
    static const bool can = ::access("/proc/self/fd", X_OK) == 0;
    return can;
}

// A new file in `folder` of `dir`, opened for writing only by us: nameless where the file system
// allows (a save cut short then leaves nothing behind, wherever it writes), with `name` left
// empty; otherwise under a name of its own.
int createTemporary(int dir, const std::string &folder, std::string &name)
{
    name.clear();
#ifdef O_TMPFILE
    if (canNameOpenFiles()) {
        const int fd
            = ::openat(dir, folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, kCreationMode);
        if (fd >= 0)
            return fd;
    }
#endif
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(folder);
        const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kCreationMode);
        if (fd >= 0 || errno != EEXIST) {
            if (fd < 0)
                name.clear();
            return fd;
        }
    }
    name.clear();
    return -1;
}

// Gives the nameless open file `fd` a fresh temporary name in `folder`; false with errno set.
bool linkTemporary(int fd, int dir, const std::string &folder, std::string &name)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(folder);
        if (::linkat(AT_FDCWD, self.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            break;
    }
    name.clear();
    return false;
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

bool makeDirectory(const std::string &path)
{
    if (::mkdir(path.c_str(), 0700) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    throw PathError(path, errno);
}

bool removePath(const std::string &path)
{
    if (std::remove(path.c_str()) == 0)
        return true;
    if (errno == ENOENT)
        return false;
    throw PathError(path, errno);
}

std::string errorText(int code)
{
    return trimErrorText(std::strerror(code));
}

Reader::Reader(std::intptr_t folder, const std::string &name, const std::string &path, bool follow)
    : m_path(path)
{
    m_handle = ::openat(folder < 0 ? AT_FDCWD : static_cast<int>(folder), name.c_str(),
        O_RDONLY | O_NONBLOCK | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    if (m_handle < 0)
        throw FileOpenError(path, errorText(errno));
    struct stat st
    { };
    if (::fstat(static_cast<int>(m_handle), &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = errno;
        const bool directory = S_ISDIR(st.st_mode);
        ::close(static_cast<int>(m_handle));
        // A FIFO, a device or a socket is no file of ours.
        throw FileOpenError(path, errorText(st.st_mode == 0 ? error : directory ? EISDIR : EINVAL));
    }
    m_size = static_cast<std::size_t>(st.st_size);
}

Reader::~Reader()
{
    ::close(static_cast<int>(m_handle));
}

std::size_t Reader::read(char *into, std::size_t room)
{
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(m_handle), into, room);
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            throw FileOpenError(m_path, errorText(errno));
    }
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

Folder::~Folder()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
}

// The folder, opened at its first use and held from then on; -1 (with errno) while it cannot be.
// A folder that was deleted can take no file any more: then the one at its path is used.
std::intptr_t Folder::handle()
{
    struct stat st
    { };
    if (m_handle >= 0 && ::fstat(static_cast<int>(m_handle), &st) == 0 && st.st_nlink == 0) {
        ::close(static_cast<int>(m_handle));
        m_handle = -1;
    }
    if (m_handle < 0)
        m_handle = ::open(m_path.empty() ? "." : m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return m_handle;
}

void Folder::readFile(const std::string &name, Bytes &bytes)
{
    const int dir = static_cast<int>(handle());
    if (dir < 0)
        throw FileOpenError(m_path + name, errorText(errno));
    readFileInto(dir, name, m_path + name, bytes);
}

Kind Folder::kindOf(const std::string &name)
{
    struct stat st
    { };
    const int dir = static_cast<int>(handle());
    if (dir < 0 || ::fstatat(dir, name.c_str(), &st, 0) != 0)
        return Kind::Missing;
    if (S_ISREG(st.st_mode))
        return Kind::File;
    return S_ISDIR(st.st_mode) ? Kind::Directory : Kind::Other;
}

Kind Folder::entryKind(const std::string &name)
{
    struct stat st
    { };
    const int dir = static_cast<int>(handle());
    if (dir < 0 || ::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Kind::Missing : Kind::Other;
    if (S_ISREG(st.st_mode))
        return Kind::File;
    return S_ISDIR(st.st_mode) ? Kind::Directory : Kind::Other;
}

void Folder::readEntry(const std::string &name, Bytes &bytes, std::size_t limit)
{
    const int dir = static_cast<int>(handle());
    if (dir < 0)
        throw FileOpenError(fullPath(m_path, name), errorText(errno));
    readFileInto(dir, name, fullPath(m_path, name), bytes, limit, false);
}

std::string Folder::resolveTarget(const std::string &name)
{
    const int dir = static_cast<int>(handle());
    std::string target = name;
    int error = errno;
    if (dir < 0 || !resolveLinks(dir, target, error))
        throw FileCreateError(m_path + name, errorText(error));
    return target;
}

bool Folder::isHeld(const std::string &name)
{
    return lockedByAnother(static_cast<int>(handle()), name);
}

Folder::Pending::~Pending()
{
    if (folder != nullptr && !renamed && !temporary.empty())
        ::unlinkat(static_cast<int>(folder->handle()), temporary.c_str(), 0);
    if (lock >= 0)
        ::close(static_cast<int>(lock));
}

void Folder::writeTemporary(const std::string &name, std::string_view bytes, unsigned flags, Pending &pending)
{
    ignoreFileSizeSignal();
    const std::string path = m_path + name;
    const int dir = static_cast<int>(handle());
    if (dir < 0)
        throw FileCreateError(path, errorText(errno));
    // A link is followed: the file it names is replaced and the link stays. A link to nothing
    // (a drive not mounted) is an error, never replaced by a file. A commit record is never
    // written through a link.
    const std::string target = flags & kFollowLinks ? resolveTarget(name) : name;
    struct stat st
    { };
    const bool exists = ::fstatat(dir, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISDIR(st.st_mode) && !(flags & kMayBeDirectory))
        throw FileCreateError(path, errorText(EISDIR));
    // A FIFO or a device is not ours to replace.
    if (exists && !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
        throw FileCreateError(path, errorText(EINVAL));
    // A file the user made read-only is not ours to replace, whoever we are.
    if (exists && S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0)
        throw FileCreateError(path, errorText(EACCES));
    if (exists && S_ISREG(st.st_mode) && ::faccessat(dir, target.c_str(), W_OK, 0) != 0)
        throw FileCreateError(path, errorText(errno));

    FileDescriptor fd(createTemporary(dir, folderOf(target), pending.temporary));
    if (fd.get() < 0)
        throw FileCreateError(path, errorText(errno));
    pending.folder = this;
    pending.target = target;
    // Locked until the save is over, also after `fd` is closed, so that a save in this folder by
    // another process does not take the file for a leftover. Without the lock it would be one.
    if (::flock(fd.get(), LOCK_EX) != 0 || (pending.lock = ::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0)) < 0)
        throw FileCreateError(path, errorText(errno));

    // The new file is the old one's: owner and group first (that clears set-id bits), then mode.
    if (exists && S_ISREG(st.st_mode)) {
        if (::fchown(fd.get(), st.st_uid, st.st_gid) != 0)
            (void)!::fchown(fd.get(), static_cast<uid_t>(-1), st.st_gid);
        ::fchmod(fd.get(), st.st_mode & 07777);
    } else {
        // A new file in another user's folder (root at work on that user's book) is that user's:
        // the book stays theirs to read and write.
        struct stat folder
        { };
        const std::string where = folderOf(target);
        if (::fstatat(dir, where.empty() ? "." : where.c_str(), &folder, 0) == 0 && folder.st_uid != ::geteuid())
            (void)!::fchown(fd.get(), folder.st_uid, folder.st_gid);
        ::fchmod(fd.get(), kCreationMode);
    }
    if (!beforeStep(Step::Write) || !writeAll(fd.get(), bytes) || !flushToDisk(fd.get()) || ::close(fd.release()) != 0)
        throw StreamWriteError();
}

void Folder::nameTemporary(Pending &pending)
{
    if (!pending.temporary.empty())
        return;
    const int dir = static_cast<int>(handle());
    if (dir < 0 || !linkTemporary(static_cast<int>(pending.lock), dir, folderOf(pending.target), pending.temporary))
        throw FileCreateError(fullPath(m_path, pending.target), errorText(errno));
}

bool Folder::commitTemporary(Pending &pending, const std::string &to, int &error)
{
    if (!beforeStep(Step::Rename)) {
        error = errno;
        return false;
    }
    try {
        nameTemporary(pending);
    } catch (const FileCreateError &) {
        error = errno;
        return false;
    }
    const int dir = static_cast<int>(handle());
    if (::renameat(dir, pending.temporary.c_str(), dir, to.c_str()) != 0) {
        error = errno;
        return false;
    }
    pending.renamed = true;
    return true;
}

bool Folder::moveFile(const std::string &from, const std::string &to, int &error)
{
    const int dir = static_cast<int>(handle());
    if (!beforeStep(Step::Rename) || ::renameat(dir, from.c_str(), dir, to.c_str()) != 0) {
        error = errno;
        return false;
    }
    return true;
}

void Folder::flushFolder(const std::string &name)
{
    const FileDescriptor folder(openFolder(static_cast<int>(handle()), folderOf(name)));
    if (folder.get() >= 0)
        flushToDisk(folder.get());
}

void Folder::removeFile(const std::string &name)
{
    ::unlinkat(static_cast<int>(handle()), name.c_str(), 0);
}

void Folder::removeLeftovers()
{
    const int dir = static_cast<int>(handle());
    if (dir >= 0)
        removeStaleTemporaries(dir);
}

void Folder::keepOld(const std::string &target, const std::string &aside, const std::string &name)
{
    const int dir = static_cast<int>(handle());
    struct stat st
    { };
    if (::fstatat(dir, target.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return;
    // A directory in the file's place is moved aside; a file gets a second name, which costs no
    // copy and leaves the file itself in place until the rename replaces it.
    if (S_ISDIR(st.st_mode) ? ::renameat(dir, target.c_str(), dir, aside.c_str()) == 0
                            : ::linkat(dir, target.c_str(), dir, aside.c_str(), 0) == 0)
        return;
    if (S_ISDIR(st.st_mode) || (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != ENOTSUP))
        throw FileCreateError(m_path + name, errorText(errno));
    // Where no link can be made (another file system, a FAT drive), a copy.
    Bytes old;
    readFileInto(dir, target, m_path + name, old);
    FileDescriptor copy(::openat(dir, aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 0777));
    if (copy.get() < 0)
        throw FileCreateError(m_path + name, errorText(errno));
    if (!writeAll(copy.get(), std::string_view(old.data(), old.size())) || ::fsync(copy.get()) != 0) {
        ::unlinkat(dir, aside.c_str(), 0);
        throw StreamWriteError();
    }
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

bool sameFile(const std::string &a, const std::string &b)
{
    struct stat first
    { };
    struct stat second
    { };
    const bool hasFirst = ::stat(a.c_str(), &first) == 0;
    const bool hasSecond = ::stat(b.c_str(), &second) == 0;
    if (hasFirst || hasSecond)
        return hasFirst && hasSecond && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    // Neither is there yet: one name in one folder is one file to be.
    const std::string folders[] = {folderOf(a), folderOf(b)};
    return a.substr(folders[0].size()) == b.substr(folders[1].size())
        && ::stat(folders[0].empty() ? "." : folders[0].c_str(), &first) == 0
        && ::stat(folders[1].empty() ? "." : folders[1].c_str(), &second) == 0 && first.st_dev == second.st_dev
        && first.st_ino == second.st_ino;
}

void renamePath(const std::string &from, const std::string &to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw PathError(from, errno);
}

bool moveOwnFileUnlessThere(const std::string &from, const std::string &to)
{
    struct stat st
    { };
    if (::lstat(from.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
        return false;
    // A second name first, which fails where `to` exists, then the first name goes: the file is
    // under one of its names at every moment, and whatever is at `to` stays.
    if (::link(from.c_str(), to.c_str()) != 0) {
        if (errno == EEXIST)
            return false;
        throw PathError(from, errno);
    }
    if (::unlink(from.c_str()) != 0)
        throw PathError(from, errno);
    return true;
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

// ---- The address book's lock ----
#include <pwd.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>

namespace kvillo::sys {

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

namespace {

std::string nameOfUser(uid_t uid)
{
    if (const passwd *entry = ::getpwuid(uid))
        return entry->pw_name;
    return std::to_string(uid);
}

// The process that holds a whole-file lock on the file or folder, as the system's table of locks
// shows it; 0 when none is seen there (no table, or a holder on another computer). Some file
// systems show another device number in the table than to stat: the inode alone then decides.
pid_t lockingProcess(const struct stat &locked)
{
    std::FILE *table = std::fopen("/proc/locks", "re");
    if (table == nullptr)
        return 0;
    pid_t exact = 0;
    pid_t sameInode = 0;
    char line[512];
    while (exact == 0 && std::fgets(line, sizeof line, table) != nullptr) {
        // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10961098 0 EOF"; a waiter's line has "->" first.
        char kind[16] = {};
        long pid = 0;
        unsigned deviceMajor = 0;
        unsigned deviceMinor = 0;
        unsigned long long inode = 0;
        if (std::strstr(line, "->") != nullptr
            || std::sscanf(line, "%*d: %15s %*s %*s %ld %x:%x:%llu", kind, &pid, &deviceMajor, &deviceMinor, &inode)
                != 5
            || std::strcmp(kind, "FLOCK") != 0 || inode != locked.st_ino || pid <= 0)
            continue;
        if (deviceMajor == major(locked.st_dev) && deviceMinor == minor(locked.st_dev))
            exact = static_cast<pid_t>(pid);
        else
            sameInode = static_cast<pid_t>(pid);
    }
    std::fclose(table);
    return exact != 0 ? exact : sameInode;
}

// The user a process runs as (its effective user); -1 when the system does not show it to us.
long userOfProcess(pid_t pid)
{
    std::string status;
    try {
        status = readFile("/proc/" + std::to_string(pid) + "/status", 16384);
    } catch (const Error &) {
        return -1;
    }
    // "Uid:\treal\teffective\tsaved\tfile system"
    const std::size_t at = status.find("\nUid:");
    unsigned long real = 0;
    unsigned long effective = 0;
    if (at == std::string::npos || std::sscanf(status.c_str() + at, "\nUid: %lu %lu", &real, &effective) != 2)
        return -1;
    return static_cast<long>(effective);
}

// The lock file's record: read only from a plain file, never through a link, at most 4 KiB.
bool readRecord(int folder, std::string &text, uid_t &owner)
{
    const FileDescriptor file(::openat(folder, FolderLock::kFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st
    { };
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    text.assign(4096, '\0');
    const ssize_t n = ::pread(file.get(), text.data(), text.size(), 0);
    text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    owner = st.st_uid;
    return true;
}

void writeRecordInto(int fd)
{
    const std::string record = ownerRecord();
    if (::ftruncate(fd, 0) == 0)
        (void)!::pwrite(fd, record.data(), record.size(), 0);
}

// Writes who holds the folder's lock into its lock file. Anything there but a plain file of this
// user's with a single name (a link, another user's file, a FIFO) is removed first and a new
// file made in its place, so the record never reaches another file. The record only informs:
// the lock holds without it.
void writeRecord(int folder)
{
    const char *name = FolderLock::kFileName;
    int fd = ::openat(folder, name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st
    { };
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_nlink != 1)) {
        ::close(fd);
        fd = -1;
        errno = EEXIST;
    }
    if (fd < 0 && errno != ENOENT)
        ::unlinkat(folder, name, 0);
    if (fd < 0)
        fd = ::openat(folder, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    const FileDescriptor file(fd);
    // An older lock file may be open to others.
    ::fchmod(fd, 0600);
    writeRecordInto(fd);
}

// Whether the name (in `folder`, with `flags` for fstatat) still stands for the open descriptor.
bool stillNamed(int fd, int folder, const char *name, int flags)
{
    struct stat opened
    { };
    struct stat named
    { };
    return ::fstat(fd, &opened) == 0 && ::fstatat(folder, name, &named, flags) == 0 && named.st_dev == opened.st_dev
        && named.st_ino == opened.st_ino;
}

} // namespace

std::string userName()
{
    return nameOfUser(::geteuid());
}

unsigned long processId()
{
    return static_cast<unsigned long>(::getpid());
}

std::string folderIdentity(const std::string &path)
{
    struct stat st
    { };
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino);
}

FolderLock::FolderLock(const std::string &folder)
    : m_handle(-1)
    , m_folder(-1)
{
    // The folder as the path names it, without its trailing separator (a link to it is followed).
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty())
        path.push_back('.');
    // A few rounds at most: a round only repeats when the folder or the file was replaced meanwhile.
    for (int round = 0; round < 8; ++round) {
        FileDescriptor dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.get() < 0)
            return;
        int file = -1;
        int locked = beforeStep(Step::Lock) ? ::flock(dir.get(), LOCK_EX | LOCK_NB) : -1;
        if (locked != 0 && errno != EWOULDBLOCK) {
            // The system locks no folders here (a network drive): the lock file stands in for the
            // folder, and the record is written into the locked file itself.
            file = ::openat(dir.get(), kFileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
            if (file < 0 && errno == EACCES && ::unlinkat(dir.get(), kFileName, 0) == 0)
                continue; // another user's file, left behind: ours replaces it
            struct stat st
            { };
            if (file >= 0 && (::fstat(file, &st) != 0 || !S_ISREG(st.st_mode))) {
                ::close(file);
                return;
            }
            if (file < 0)
                return;
            locked = ::flock(file, LOCK_EX | LOCK_NB);
        }
        FileDescriptor lockFile(file);
        if (locked != 0) {
            if (errno == EWOULDBLOCK) {
                m_state = State::Busy;
                m_folder = dir.release();
                m_handle = lockFile.release();
            }
            return;
        }
        // The lock counts only on the folder, and the file, that the path still names.
        if (!stillNamed(dir.get(), AT_FDCWD, path.c_str(), 0)
            || (file >= 0 && !stillNamed(file, dir.get(), kFileName, AT_SYMLINK_NOFOLLOW)))
            continue;
        if (file >= 0)
            writeRecordInto(file);
        else
            writeRecord(dir.get());
        m_state = State::Held;
        m_folder = dir.release();
        m_handle = lockFile.release();
        return;
    }
}

FolderLock::~FolderLock()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
    if (m_folder >= 0)
        ::close(static_cast<int>(m_folder));
}

LockHolder FolderLock::holder() const
{
    if (m_state != State::Busy)
        return {};
    const int folder = static_cast<int>(m_folder);
    std::string text;
    uid_t owner = 0;
    const bool readable = readRecord(folder, text, owner);
    LockHolder holder = parseOwnerRecord(text);
    struct stat locked
    { };
    const pid_t pid
        = ::fstat(m_handle >= 0 ? static_cast<int>(m_handle) : folder, &locked) == 0 ? lockingProcess(locked) : 0;
    if (pid > 0) {
        // The system's word, over a record that may be another's or an older one.
        const long uid = userOfProcess(pid);
        const bool current = holder.process == std::to_string(pid);
        holder.host = hostName();
        holder.process = std::to_string(pid);
        holder.user = uid >= 0 ? nameOfUser(static_cast<uid_t>(uid)) : current ? holder.user : std::string();
        // Every process of our own is visible to us.
        holder.kind
            = uid == static_cast<long>(::geteuid()) ? LockHolder::Kind::ThisUser : LockHolder::Kind::AnotherUser;
    } else if (readable && !text.empty() && owner != ::geteuid() && holder.kind == LockHolder::Kind::ThisUser) {
        // A record that claims to be ours in a file that another user wrote.
        holder.user = nameOfUser(owner);
        holder.kind = LockHolder::Kind::AnotherUser;
    }
    return holder;
}

namespace {

// Why no one else could be kept from creating or removing names in the folder, or "" when it is
// a directory, not a link, owned by this user and closed to everyone else.
std::string unlikePrivateFolder(const std::string &path)
{
    struct stat st
    { };
    if (::lstat(path.c_str(), &st) != 0)
        return errorText(errno);
    if (S_ISLNK(st.st_mode))
        return "ссылка, а не папка";
    if (!S_ISDIR(st.st_mode))
        return "не папка";
    if (st.st_uid != ::geteuid())
        return "папка другого пользователя";
    return (st.st_mode & 077) != 0 ? "папка открыта для других пользователей" : "";
}

std::string asFolder(std::string path)
{
    if (path.back() != '/')
        path += '/';
    return path;
}

} // namespace

namespace {

// The folder "kvillo-<uid>" in the temporary folder.
std::string ownChannelFolder()
{
    const char *temporary = std::getenv("TMPDIR");
    return asFolder(temporary != nullptr && temporary[0] == '/' ? temporary : "/tmp") + "kvillo-"
        + std::to_string(::geteuid()) + "/";
}

std::string runtimeFolder()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && runtime[0] == '/' ? asFolder(runtime) : std::string();
}

} // namespace

std::vector<std::string> channelFolders()
{
    std::vector<std::string> folders;
    for (const std::string &folder :
         {runtimeFolder(), "/run/user/" + std::to_string(::geteuid()) + "/", ownChannelFolder()}) {
        if (!folder.empty() && unlikePrivateFolder(folder).empty()
            && std::find(folders.begin(), folders.end(), folder) == folders.end())
            folders.push_back(folder);
    }
    return folders;
}

std::string listeningFolder()
{
    if (const std::string runtime = runtimeFolder(); !runtime.empty() && unlikePrivateFolder(runtime).empty())
        return runtime;
    const std::string own = ownChannelFolder();
    if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST)
        throw Error(own + ": " + errorText(errno));
    if (const std::string unlike = unlikePrivateFolder(own); !unlike.empty())
        throw Error(own + ": " + unlike);
    return own;
}

bool peerIsThisUser(std::intptr_t socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && size == sizeof peer
        && peer.uid == ::geteuid();
}

} // namespace kvillo::sys

// ---- The channel's client end ----
#include <dlfcn.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace kvillo::sys {

namespace {

// Milliseconds until `deadline`, at least 0, for poll().
int millisecondsUntil(Deadline deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 60000));
}

// Waits until `fd` is ready for `events` or `deadline`; whether it is ready (or closed).
bool waitFor(int fd, short events, Deadline deadline)
{
    for (;;) {
        pollfd wait{fd, events, 0};
        const int ready = ::poll(&wait, 1, millisecondsUntil(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

LocalConnection::LocalConnection(const std::string &name, std::chrono::milliseconds wait)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (fd.get() < 0)
        return;
    if (::connect(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        // A listener whose queue is full lets us in once it takes the connections before ours.
        if (errno != EAGAIN && errno != EINPROGRESS)
            return;
        int error = 0;
        socklen_t size = sizeof error;
        if (!waitFor(fd.get(), POLLOUT, std::chrono::steady_clock::now() + wait)
            || ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
            return;
    }
    m_handle = fd.release();
}

LocalConnection::~LocalConnection()
{
    if (connected())
        ::close(static_cast<int>(m_handle));
}

bool LocalConnection::send(std::string_view bytes, Deadline deadline)
{
    const int fd = static_cast<int>(m_handle);
    while (!bytes.empty()) {
        // MSG_NOSIGNAL: a holder that goes away ends the sending, not this process.
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && errno == EAGAIN) {
            if (!waitFor(fd, POLLOUT, deadline))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

std::string LocalConnection::receiveLine(Deadline deadline)
{
    const int fd = static_cast<int>(m_handle);
    std::string line;
    char buffer[512];
    while (line.find('\n') == std::string::npos) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got > 0) {
            line.append(buffer, static_cast<std::size_t>(got));
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else if (got < 0 && errno == EAGAIN) {
            if (!waitFor(fd, POLLIN, deadline))
                break;
        } else {
            break;
        }
    }
    return line;
}

void randomBytes(void *into, std::size_t size)
{
    auto *bytes = static_cast<unsigned char *>(into);
    while (size > 0) {
        const ssize_t got = ::getrandom(bytes, size, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            throw Error("нет случайных чисел: " + errorText(errno));
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
}

void *libraryFunction(const std::string &path, const char *symbol)
{
    void *library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void *function = library != nullptr ? ::dlsym(library, symbol) : nullptr;
    if (function == nullptr) {
        const char *reason = ::dlerror();
        throw Error(reason != nullptr ? std::string(reason) : path + ": " + symbol);
    }
    return function;
}

} // namespace kvillo::sys
