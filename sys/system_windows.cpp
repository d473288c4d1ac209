// The Windows side of the system calls.
//
// Paths are UTF-8 here as on every other system: each call converts them to UTF-16 and uses the
// wide functions, so a path with characters outside the ANSI code page (a user name, a folder
// chosen in a dialog) still names its file, and the error messages, which are UTF-8, show the
// path as it is. The system's error texts are taken in UTF-16 and converted the same way. Only
// the contents of the files are 8-bit code page text, and those are never converted.

#include "system.h"
#include "system_shared.h"

#include "errors.h"
#include "memory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace kvillo::sys {

const char pathSeparator = '\\';

namespace {

// Runs the test hook before a step of replacing a file; false (with the last error set) to fail
// the step.
bool beforeStep(Step step)
{
    if (const int error = runStepHook(step)) {
        ::SetLastError(static_cast<DWORD>(error));
        return false;
    }
    return true;
}

class Handle
{
public:
    explicit Handle(HANDLE handle)
        : m_handle(handle)
    { }
    ~Handle()
    {
        if (valid())
            ::CloseHandle(m_handle);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE get() const { return m_handle; }
    // Closes the handle now; false with the last error set when closing fails.
    bool close()
    {
        const HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) != 0;
    }

private:
    HANDLE m_handle;
};

std::wstring widen(std::string_view text)
{
    if (text.empty())
        return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string narrow(std::wstring_view text)
{
    if (text.empty())
        return {};
    const int length
        = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

// The path as the wide functions take it. Both separators are accepted (Qt hands over paths with
// '/'). A full path too long for the classic limit gets the "\\?\" prefix, which lifts the limit
// but turns off the system's own clean-up of the path; GetFullPathNameW does that clean-up first.
std::wstring systemPath(const std::string &path)
{
    std::wstring wide = widen(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    if (wide.size() < MAX_PATH - 12 || wide.rfind(L"\\\\?\\", 0) == 0)
        return wide;
    const DWORD needed = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return wide;
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return wide;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\')
        return L"\\\\?\\" + full;
    return wide;
}

// The directory part of a system path, with its trailing separator ("" for a bare name).
std::wstring directoryOf(const std::wstring &path)
{
    const auto separator = path.find_last_of(L"\\:");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator + 1);
}

// A link to a data file is followed, so that the file it names is the one replaced.
std::wstring resolveLink(const std::wstring &path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    Handle file(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid())
        return path;
    std::wstring target(32768, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(
        file.get(), target.data(), static_cast<DWORD>(target.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= target.size())
        return path;
    target.resize(length);
    return target;
}

// Errors that mean another program (a virus scanner, an indexer, a backup tool) holds the file
// for a moment.
bool isTransient(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// MoveFileExW, tried again for about a second while the file is held by someone else.
bool moveWithRetry(const std::wstring &from, const std::wstring &to, DWORD flags, DWORD &error)
{
    constexpr DWORD kDelays[] = {1, 2, 5, 10, 20, 40, 60, 80, 100, 100, 100, 100, 100, 100, 100, 100};
    for (std::size_t attempt = 0;; ++attempt) {
        if (::MoveFileExW(from.c_str(), to.c_str(), flags))
            return true;
        error = ::GetLastError();
        if (!isTransient(error) || attempt == std::size(kDelays))
            return false;
        ::Sleep(kDelays[attempt]);
    }
}

// Whether anything in `directory` matches the pattern.
bool anyMatch(const std::wstring &directory, const std::wstring &pattern)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((directory + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    ::FindClose(search);
    return true;
}

// A save cut short by a crash or a power cut leaves its temporary file behind. A running save
// holds its file open without sharing it, so the system refuses to delete that one, and only the
// leftovers of dead processes go; none while a commit record, live or set aside, may still need
// them.
void removeStaleTemporaries(const std::wstring &directory)
{
    if (anyMatch(directory, widen(kCommitRecord) + L"*"))
        return;
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((directory + widen(kTemporaryPrefix) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring_view name = found.cFileName;
        if (isTemporaryName(name)
            && !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            ::DeleteFileW((directory + std::wstring(name)).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// The volume and file index of what the path names, links followed; false when it cannot be
// opened.
bool fileIdentity(const std::wstring &path, BY_HANDLE_FILE_INFORMATION &info)
{
    const HANDLE file
        = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool known = ::GetFileInformationByHandle(file, &info) != 0;
    ::CloseHandle(file);
    return known;
}

// A name of a folder's file, or a path the folder gave out (a temporary, a link's target), as a
// system path.
std::string pathInFolder(const std::string &folder, const std::string &name)
{
    return name.find_first_of("/\\:") != std::string::npos ? name : folder + name;
}

std::wstring inFolder(const std::string &folder, const std::string &name)
{
    return systemPath(pathInFolder(folder, name));
}

// A new, exclusively opened file with a name of its own in `directory`.
HANDLE createTemporary(const std::wstring &directory, DWORD attributes, std::wstring &name)
{
    static unsigned counter = 0;
    const unsigned long long seed
        = ::GetTickCount64() ^ (static_cast<unsigned long long>(::GetCurrentProcessId()) << 20);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const unsigned long long value = seed * 6364136223846793005ull + ++counter * 1442695040888963407ull;
        wchar_t suffix[16];
        std::swprintf(suffix, std::size(suffix), L"%06llx", (value >> 24) & 0xFFFFFF);
        name = directory + widen(kTemporaryPrefix) + suffix;
        const HANDLE handle = ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr);
        if (handle != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS)
            return handle;
    }
    return INVALID_HANDLE_VALUE;
}

bool writeAll(HANDLE file, std::string_view bytes)
{
    // The hook sees a write also when the file is to be empty.
    if (bytes.empty())
        return beforeStep(Step::Write);
    while (!bytes.empty()) {
        if (!beforeStep(Step::Write))
            return false;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

} // namespace

std::string executablePath()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return {};
        if (length < buffer.size()) {
            buffer.resize(length);
            return narrow(buffer);
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string homeDirectory()
{
    const wchar_t *profile = ::_wgetenv(L"USERPROFILE");
    std::string home = profile != nullptr ? narrow(profile) : std::string();
    while (home.size() > 1 && (home.back() == '\\' || home.back() == '/'))
        home.pop_back();
    return home;
}

bool makeDirectory(const std::string &path)
{
    // A new directory inherits the access rights of its parent, which is the user's own profile.
    if (::CreateDirectoryW(systemPath(path).c_str(), nullptr))
        return true;
    const DWORD code = ::GetLastError();
    if (code == ERROR_ALREADY_EXISTS)
        return false;
    throw PathError(path, static_cast<int>(code));
}

bool removePath(const std::string &path)
{
    const std::wstring wide = systemPath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    const bool directory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (directory ? ::RemoveDirectoryW(wide.c_str()) : ::DeleteFileW(wide.c_str()))
        return true;
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return false;
    throw PathError(path, static_cast<int>(code));
}

std::string errorText(int code)
{
    wchar_t *text = nullptr;
    const DWORD length
        = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    if (length == 0 || text == nullptr)
        return "System error " + std::to_string(static_cast<DWORD>(code));
    std::string utf8 = narrow(std::wstring_view(text, length));
    ::LocalFree(text);
    return trimErrorText(std::move(utf8));
}

// Windows opens files by path; others may read the file while it is loaded, but not write it.
Reader::Reader(std::intptr_t, const std::string &, const std::string &path, bool follow)
    : m_path(path)
{
    const HANDLE file = ::CreateFileW(systemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw FileOpenError(path, errorText(static_cast<int>(::GetLastError())));
    m_handle = reinterpret_cast<std::intptr_t>(file);
    LARGE_INTEGER size{};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool link = !follow && ::GetFileInformationByHandle(file, &info)
        && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (link || ::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
        const DWORD error = link                    ? ERROR_CANT_ACCESS_FILE
            : ::GetFileType(file) != FILE_TYPE_DISK ? ERROR_INVALID_FUNCTION
                                                    : ::GetLastError();
        ::CloseHandle(file);
        throw FileOpenError(path, errorText(static_cast<int>(error)));
    }
    m_size = static_cast<std::size_t>(size.QuadPart);
}

Reader::~Reader()
{
    ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

std::size_t Reader::read(char *into, std::size_t room)
{
    DWORD n = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(m_handle), into, static_cast<DWORD>(std::min<std::size_t>(room, 1u << 30)),
            &n, nullptr))
        throw FileOpenError(m_path, errorText(static_cast<int>(::GetLastError())));
    return static_cast<std::size_t>(n);
}

void *allocatePages(std::size_t bytes)
{
    void *block = ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void releasePages(void *block, std::size_t) noexcept
{
    ::VirtualFree(block, 0, MEM_RELEASE);
}

Folder::~Folder() = default;

// Windows reaches the folder's files by path.
std::intptr_t Folder::handle()
{
    return -1;
}

void Folder::readFile(const std::string &name, Bytes &bytes)
{
    const std::string path = pathInFolder(m_path, name);
    readFileInto(-1, path, path, bytes);
}

Kind Folder::kindOf(const std::string &name)
{
    return sys::kindOf(pathInFolder(m_path, name));
}

Kind Folder::entryKind(const std::string &name)
{
    const DWORD attributes = ::GetFileAttributesW(inFolder(m_path, name).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Kind::Missing : Kind::Other;
    }
    if (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))
        return Kind::Other;
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? Kind::Directory : Kind::File;
}

void Folder::readEntry(const std::string &name, Bytes &bytes, std::size_t limit)
{
    const std::string path = pathInFolder(m_path, name);
    readFileInto(-1, path, path, bytes, limit, false);
}

// Windows lets only an administrator (or a developer's account) make links: a link is followed
// as it is, and the owners are not compared.
std::string Folder::resolveTarget(const std::string &name)
{
    return narrow(resolveLink(systemPath(m_path + name)));
}

// A running save holds its temporary open without sharing it.
bool Folder::isHeld(const std::string &name)
{
    const Handle file(::CreateFileW(
        inFolder(m_path, name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file.valid() && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

Folder::Pending::~Pending()
{
    if (folder != nullptr && !renamed && !temporary.empty())
        ::DeleteFileW(systemPath(temporary).c_str());
}

void Folder::writeTemporary(const std::string &name, std::string_view bytes, unsigned flags, Pending &pending)
{
    const std::string path = m_path + name;
    const std::wstring target = flags & kFollowLinks ? resolveLink(systemPath(path)) : systemPath(path);
    const DWORD existing = ::GetFileAttributesW(target.c_str());
    // A directory, or a file the user made read-only, is not ours to replace: the system would
    // refuse to open either for writing, and so do we. A commit record is never written through
    // a link.
    const DWORD refused = FILE_ATTRIBUTE_READONLY | (flags & kMayBeDirectory ? 0 : FILE_ATTRIBUTE_DIRECTORY)
        | (flags & kFollowLinks ? 0 : FILE_ATTRIBUTE_REPARSE_POINT);
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & refused))
        throw FileCreateError(path, errorText(ERROR_ACCESS_DENIED));

    // The new file keeps the old one's hidden, system and archive marks.
    constexpr DWORD kKept
        = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes
        = existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY) && (existing & kKept)
        ? existing & kKept
        : FILE_ATTRIBUTE_NORMAL;
    // Leftovers are removed before a save starts (recover), not here: the temporaries written
    // before this one are closed already and would look like leftovers.
    const std::wstring directory = directoryOf(target);
    std::wstring temporary;
    Handle file(createTemporary(directory, attributes, temporary));
    if (!file.valid())
        throw FileCreateError(path, errorText(static_cast<int>(::GetLastError())));
    pending.folder = this;
    pending.temporary = narrow(temporary);
    pending.target = narrow(target);
    if (!writeAll(file.get(), bytes) || !beforeStep(Step::Sync) || !countSync(::FlushFileBuffers(file.get()))
        || !file.close())
        throw StreamWriteError();
}

// Every temporary has its name from the start.
void Folder::nameTemporary(Pending &)
{ }

bool Folder::commitTemporary(Pending &pending, const std::string &to, int &error)
{
    pending.renamed = moveFile(pending.temporary, to, error);
    return pending.renamed;
}

bool Folder::moveFile(const std::string &from, const std::string &to, int &error)
{
    DWORD code = 0;
    if (!beforeStep(Step::Rename))
        code = ::GetLastError();
    else if (moveWithRetry(inFolder(m_path, from), inFolder(m_path, to),
                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH, code))
        return true;
    error = static_cast<int>(code);
    return false;
}

// A rename goes through to the disk before MoveFileExW returns: no folder to flush.
void Folder::flushFolder(const std::string &)
{ }

void Folder::removeFile(const std::string &name)
{
    ::DeleteFileW(inFolder(m_path, name).c_str());
}

void Folder::removeLeftovers()
{
    removeStaleTemporaries(directoryOf(inFolder(m_path, "x")));
}

void Folder::keepOld(const std::string &target, const std::string &aside, const std::string &name)
{
    const std::wstring from = inFolder(m_path, target);
    const std::wstring to = inFolder(m_path, aside);
    const DWORD attributes = ::GetFileAttributesW(from.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    DWORD error = 0;
    // A directory in the file's place is moved aside; a file gets a second name, or a copy where
    // the drive has no links.
    if (attributes & FILE_ATTRIBUTE_DIRECTORY
            ? moveWithRetry(from, to, MOVEFILE_WRITE_THROUGH, error)
            : ::CreateHardLinkW(to.c_str(), from.c_str(), nullptr) || ::CopyFileW(from.c_str(), to.c_str(), TRUE))
        return;
    throw FileCreateError(m_path + name, errorText(static_cast<int>(error != 0 ? error : ::GetLastError())));
}

Kind kindOf(const std::string &path)
{
    const DWORD attributes = ::GetFileAttributesW(systemPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return Kind::Missing;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Kind::Directory;
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        return Kind::Other;
    return Kind::File;
}

bool sameFile(const std::string &a, const std::string &b)
{
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    const bool hasFirst = fileIdentity(systemPath(a), first);
    const bool hasSecond = fileIdentity(systemPath(b), second);
    if (hasFirst || hasSecond)
        return hasFirst && hasSecond && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber
            && first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
    // Neither is there yet: one name (in any case) in one folder is one file to be.
    const std::string folders[] = {folderOf(a), folderOf(b)};
    const std::wstring names[] = {widen(a.substr(folders[0].size())), widen(b.substr(folders[1].size()))};
    return ::CompareStringOrdinal(names[0].c_str(), static_cast<int>(names[0].size()), names[1].c_str(),
               static_cast<int>(names[1].size()), TRUE)
        == CSTR_EQUAL
        && fileIdentity(systemPath(folders[0].empty() ? "." : folders[0]), first)
        && fileIdentity(systemPath(folders[1].empty() ? "." : folders[1]), second)
        && first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh
        && first.nFileIndexLow == second.nFileIndexLow;
}

// Unlike rename(2), this never replaces an existing `to`: the callers move a file aside to a
// name that is free, and a name taken in the meantime must not lose that file.
void renamePath(const std::string &from, const std::string &to)
{
    DWORD code = 0;
    if (!moveWithRetry(systemPath(from), systemPath(to), MOVEFILE_WRITE_THROUGH, code))
        throw PathError(from, static_cast<int>(code));
}

bool moveOwnFileUnlessThere(const std::string &from, const std::string &to)
{
    // Without MOVEFILE_REPLACE_EXISTING a move never replaces anything; a link is not moved.
    const DWORD attributes = ::GetFileAttributesW(systemPath(from).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES
        || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0)
        return false;
    DWORD code = 0;
    if (moveWithRetry(systemPath(from), systemPath(to), MOVEFILE_WRITE_THROUGH, code))
        return true;
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
        return false;
    throw PathError(from, static_cast<int>(code));
}

std::string localTimestamp()
{
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
        now.wMinute, now.wSecond);
    return text;
}

} // namespace kvillo::sys

// ---- The address book's lock ----
namespace kvillo::sys {

std::string hostName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!::GetComputerNameW(name, &length))
        return {};
    return narrow(std::wstring_view(name, length));
}

std::string userName()
{
    wchar_t name[256] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"USERNAME", name, 256);
    if (length == 0 || length >= 256)
        return {};
    return narrow(std::wstring_view(name, length));
}

unsigned long processId()
{
    return ::GetCurrentProcessId();
}

std::string folderIdentity(const std::string &path)
{
    // Opening a folder needs the backup-semantics flag; asking for no access still reads its
    // attributes.
    Handle folder(::CreateFileW(systemPath(path).c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
        nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!folder.valid() || !::GetFileInformationByHandle(folder.get(), &info)
        || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%08lx:%08lx%08lx", static_cast<unsigned long>(info.dwVolumeSerialNumber),
        static_cast<unsigned long>(info.nFileIndexHigh), static_cast<unsigned long>(info.nFileIndexLow));
    return text;
}

namespace {

// The lock covers one byte far past the record: Windows locks keep others from reading the bytes
// they cover, and whoever finds the file busy must still read who holds it.
OVERLAPPED lockedRange()
{
    OVERLAPPED range{};
    range.OffsetHigh = 1;
    return range;
}

} // namespace

FolderLock::FolderLock(const std::string &folder)
    : m_handle(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE))
    , m_folder(-1)
{
    const std::wstring name = systemPath(folder + kFileName);
    // Others may read and write the file while it is held, never delete or rename it: the lock
    // stays with the name. A link is opened as itself, never followed.
    constexpr DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
    bool writable = true;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int round = 0; round < 2; ++round) {
        file = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_ALWAYS, flags, nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
            // Left read-only: still lockable, and so provably free or not; the record stays as it is.
            writable = false;
            file = ::CreateFileW(name.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, flags, nullptr);
        }
        BY_HANDLE_FILE_INFORMATION info{};
        if (file == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(file, &info)
            || !(info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            break;
        // A link in the lock file's place: it goes (never what it points to) and a file is made.
        ::CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        if (round > 0 || !::DeleteFileW(name.c_str()))
            return;
        writable = true;
    }
    if (file == INVALID_HANDLE_VALUE)
        return;
    OVERLAPPED range = lockedRange();
    if (!beforeStep(Step::Lock)
        || !::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
        if (::GetLastError() == ERROR_LOCK_VIOLATION) {
            m_handle = reinterpret_cast<std::intptr_t>(file);
            m_state = State::Busy;
        } else {
            ::CloseHandle(file);
        }
        return;
    }
    if (writable) {
        const std::string record = ownerRecord();
        DWORD written = 0;
        if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER && ::SetEndOfFile(file))
            ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
    m_state = State::Held;
}

FolderLock::~FolderLock()
{
    const auto file = reinterpret_cast<HANDLE>(m_handle);
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
}

LockHolder FolderLock::holder() const
{
    if (m_state != State::Busy)
        return {};
    std::string text(4096, '\0');
    OVERLAPPED from{};
    DWORD read = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(m_handle), text.data(), static_cast<DWORD>(text.size()), &read, &from))
        read = 0;
    text.resize(read);
    return parseOwnerRecord(text);
}

// A named pipe: the system keeps the names, and the peer's user is checked on connecting.
std::vector<std::string> channelFolders()
{
    return {std::string()};
}

std::string listeningFolder()
{
    return {};
}

namespace {

// The user a process runs as, as the system's security identifier (empty when it cannot be told).
std::string userOfProcess(DWORD pid)
{
    Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    HANDLE token = nullptr;
    if (!process.valid() || !::OpenProcessToken(process.get(), TOKEN_QUERY, &token))
        return {};
    const Handle tokenHandle(token);
    char buffer[256];
    DWORD size = 0;
    if (!::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size))
        return {};
    const PSID sid = reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid;
    return std::string(static_cast<const char *>(sid), ::GetLengthSid(sid));
}

} // namespace

bool peerIsThisUser(std::intptr_t socket)
{
    // Either end asks for both processes; the peer is the one that is not this process (or this
    // process itself, talking to itself).
    const auto pipe = reinterpret_cast<HANDLE>(socket);
    ULONG client = 0;
    ULONG server = 0;
    if (!::GetNamedPipeClientProcessId(pipe, &client) || !::GetNamedPipeServerProcessId(pipe, &server))
        return false;
    const DWORD self = ::GetCurrentProcessId();
    const std::string peer = userOfProcess(client == self ? server : client);
    return !peer.empty() && peer == userOfProcess(self);
}

} // namespace kvillo::sys

// ---- The channel's client end ----
namespace kvillo::sys {

namespace {

DWORD millisecondsUntil(Deadline deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<DWORD>(std::clamp<long long>(left.count(), 0, 60000));
}

} // namespace

LocalConnection::LocalConnection(const std::string &name, std::chrono::milliseconds wait)
{
    const std::string pipe = "\\\\.\\pipe\\" + name;
    const Deadline until = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const HANDLE handle
            = ::CreateFileA(pipe.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            m_handle = reinterpret_cast<std::intptr_t>(handle);
            return;
        }
        // Every instance of the pipe busy: one is free once the listener takes the clients before us.
        if (::GetLastError() != ERROR_PIPE_BUSY || !::WaitNamedPipeA(pipe.c_str(), millisecondsUntil(until) + 1))
            return;
    }
}

LocalConnection::~LocalConnection()
{
    if (connected())
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

bool LocalConnection::send(std::string_view bytes, Deadline deadline)
{
    const auto pipe = reinterpret_cast<HANDLE>(m_handle);
    while (!bytes.empty() && std::chrono::steady_clock::now() < deadline) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
        if (!::WriteFile(pipe, bytes.data(), chunk, &written, nullptr))
            return false;
        bytes.remove_prefix(written);
    }
    return bytes.empty();
}

std::string LocalConnection::receiveLine(Deadline deadline)
{
    const auto pipe = reinterpret_cast<HANDLE>(m_handle);
    std::string line;
    char buffer[512];
    while (line.find('\n') == std::string::npos) {
        DWORD waiting = 0;
        if (!::PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr))
            break; // the other end has gone
        if (waiting == 0) {
            if (std::chrono::steady_clock::now() >= deadline)
                break;
            ::Sleep(10);
            continue;
        }
        DWORD got = 0;
        if (!::ReadFile(pipe, buffer, std::min<DWORD>(waiting, sizeof buffer), &got, nullptr) || got == 0)
            break;
        line.append(buffer, got);
    }
    return line;
}

} // namespace kvillo::sys

// The system's generator, as advapi32 exports it under this name.
extern "C" BOOLEAN NTAPI SystemFunction036(PVOID buffer, ULONG length);

namespace kvillo::sys {

void randomBytes(void *into, std::size_t size)
{
    if (size > std::numeric_limits<ULONG>::max() || !SystemFunction036(into, static_cast<ULONG>(size)))
        throw Error("нет случайных чисел: " + errorText(static_cast<int>(::GetLastError())));
}

void *libraryFunction(const std::string &path, const char *symbol)
{
    HMODULE library = ::LoadLibraryA(path.c_str());
    FARPROC function = library != nullptr ? ::GetProcAddress(library, symbol) : nullptr;
    if (function == nullptr)
        throw Error(path + ": " + errorText(static_cast<int>(::GetLastError())));
    return reinterpret_cast<void *>(function);
}

} // namespace kvillo::sys
