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

// The user's home directory, without a trailing separator; empty when the system knows none.
std::string homeDirectory();

// Creates a directory that only its owner may enter (where the system has such modes); false on
// failure, with the system's error code in `error`.
bool makeDirectory(const std::string &path, int &error);

// Removes a file or an empty directory; false on failure (with the system's error code in `error`).
bool removePath(const std::string &path, int &error);

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
