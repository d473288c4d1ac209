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

constexpr std::wstring_view kTemporaryPrefix = L".kvillo-save-";

// A save cut short by a crash or a power cut leaves its temporary file behind. A running save
// holds its file open without sharing it, so the system refuses to delete that one, and only the
// leftovers of dead processes go.
void removeStaleTemporaries(const std::wstring &directory)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((directory + std::wstring(kTemporaryPrefix) + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring_view name = found.cFileName;
        if (name.size() == kTemporaryPrefix.size() + 6 && name.starts_with(kTemporaryPrefix)
            && !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            ::DeleteFileW((directory + std::wstring(name)).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
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
        name = directory + std::wstring(kTemporaryPrefix) + suffix;
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

template <typename Container> void readInto(const std::string &path, Container &bytes, std::size_t limit)
{
    // Others may read the file while it is loaded, but not write it.
    Handle file(::CreateFileW(systemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid())
        throw FileOpenError(path, errorText(static_cast<int>(::GetLastError())));
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size))
        throw FileOpenError(path, errorText(static_cast<int>(::GetLastError())));

    readWhole(bytes, static_cast<std::size_t>(size.QuadPart), limit, [&](char *into, std::size_t room) {
        DWORD n = 0;
        if (!::ReadFile(file.get(), into, static_cast<DWORD>(std::min<std::size_t>(room, 1u << 30)), &n, nullptr))
            throw FileOpenError(path, errorText(static_cast<int>(::GetLastError())));
        return static_cast<std::size_t>(n);
    });
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

bool makeDirectory(const std::string &path, int &error)
{
    // A new directory inherits the access rights of its parent, which is the user's own profile.
    if (::CreateDirectoryW(systemPath(path).c_str(), nullptr))
        return true;
    error = static_cast<int>(::GetLastError());
    return false;
}

bool removePath(const std::string &path, int &error)
{
    const std::wstring wide = systemPath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    const bool directory = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (directory ? ::RemoveDirectoryW(wide.c_str()) : ::DeleteFileW(wide.c_str()))
        return true;
    error = static_cast<int>(::GetLastError());
    return false;
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
    void *block = ::VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}

void releasePages(void *block, std::size_t) noexcept
{
    ::VirtualFree(block, 0, MEM_RELEASE);
}

void replaceFile(const std::string &path, std::string_view bytes)
{
    const std::wstring target = resolveLink(systemPath(path));
    const DWORD existing = ::GetFileAttributesW(target.c_str());
    // A directory, or a file the user made read-only, is not ours to replace: the system would
    // refuse to open either for writing, and so do we.
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)))
        throw FileCreateError(path, errorText(ERROR_ACCESS_DENIED));

    // The new file keeps the old one's hidden, system and archive marks.
    constexpr DWORD kKept
        = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD attributes
        = existing != INVALID_FILE_ATTRIBUTES && (existing & kKept) ? existing & kKept : FILE_ATTRIBUTE_NORMAL;
    const std::wstring directory = directoryOf(target);
    removeStaleTemporaries(directory);
    std::wstring temporary;
    Handle file(createTemporary(directory, attributes, temporary));
    if (!file.valid())
        throw FileCreateError(path, errorText(static_cast<int>(::GetLastError())));

    auto fail = [&](auto error) {
        if (file.valid())
            file.close();
        ::DeleteFileW(temporary.c_str());
        throw error;
    };
    if (!writeAll(file.get(), bytes) || !beforeStep(Step::Sync) || !::FlushFileBuffers(file.get()) || !file.close())
        fail(StreamWriteError());
    // The rename goes through to the disk before MoveFileExW returns, so no directory sync follows.
    DWORD error = 0;
    if (!beforeStep(Step::Rename))
        error = ::GetLastError();
    else if (moveWithRetry(temporary, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH, error))
        return;
    fail(FileCreateError(path, errorText(static_cast<int>(error))));
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

// Unlike rename(2), this never replaces an existing `to`: the callers move a file aside to a
// name that is free, and a name taken in the meantime must not lose that file.
bool renamePath(const std::string &from, const std::string &to, int &error)
{
    DWORD code = 0;
    if (moveWithRetry(systemPath(from), systemPath(to), MOVEFILE_WRITE_THROUGH, code))
        return true;
    error = static_cast<int>(code);
    return false;
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
