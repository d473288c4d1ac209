#pragma once

#include "memory.h"

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

// The few things the data layer asks of the operating system. Everything system-specific lives
// behind these functions.
namespace kvillo::sys {

// '/' here, '\' on Windows.
extern const char pathSeparator;

// The full path of the running executable.
std::string executablePath();

// The system's text for an error code, without trailing blanks, control characters and periods.
std::string errorText(int code);

// Reads the file whole, or its first `limit` bytes. Throws FileOpenError.
std::string readFile(const std::string &path, std::size_t limit = std::numeric_limits<std::size_t>::max());
void readFile(const std::string &path, Bytes &bytes, std::size_t limit = std::numeric_limits<std::size_t>::max());

// Replaces the file atomically: a temporary file beside it is written, flushed to disk and
// renamed over the target, so the old contents stay intact on any failure. Throws
// FileCreateError when the file cannot be created and StreamWriteError when writing fails.
void replaceFile(const std::string &path, std::string_view bytes);

enum class Kind { Missing, File, Directory, Other };
Kind kindOf(const std::string &path);

// Renames a file or directory; false on failure (with the system's error code in `error`).
bool renamePath(const std::string &from, const std::string &to, int &error);

// Trims the system's text for an error: trailing blanks, control characters and periods go.
std::string trimErrorText(std::string text);

// A test seam: a hook run before each step of replacing a file (each write, each flush to disk
// and the rename). It may end the process there, or return an error code to fail the step; 0
// lets the step run. No hook is set in the program.
enum class Step { Write, Sync, Rename };
using StepHook = int (*)(Step step);
void setStepHook(StepHook hook);
int runStepHook(Step step);

// The process's current time in the local time zone as "YYYYMMDD-HHMMSS".
std::string localTimestamp();

} // namespace kvillo::sys

// ---- The address book's lock: who runs this program, folder identities, a lock on a file ----
#include <cstdint>

namespace kvillo::sys {

// The computer's name and the login name of the user running the process ("" when unknown).
std::string hostName();
std::string userName();
unsigned long processId();

// The same text for every path that names a folder, and another one for another folder later put
// at the same path. Empty when the folder cannot be examined.
std::string folderIdentity(const std::string &path);

// An exclusive lock on a file, made when missing, held until the object goes. The system drops it
// when the process ends, however it ends, so a lock file that no one holds is free whatever it
// says. The holder writes into the file who it is (`ownerRecord`), for whoever finds it busy.
class FolderLock
{
public:
    enum class State { Held, Busy, Unavailable };

    // Tries once to take the lock.
    explicit FolderLock(const std::string &path);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    State state() const { return m_state; }
    // When busy: what the holder wrote (it may not have written yet).
    std::string holder() const;

private:
    std::intptr_t m_handle;
    State m_state = State::Unavailable;
};

// "host=...\npid=...\nuser=...\nstarted=YYYYMMDD-HHMMSS\n" for this process.
std::string ownerRecord();

} // namespace kvillo::sys
