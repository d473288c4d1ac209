#pragma once

#include "memory.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The few things the data layer asks of the operating system. Everything system-specific lives
// behind these functions.
namespace kvillo::sys {

// '/' here, '\' on Windows.
extern const char pathSeparator;

// The full path of the running executable.
std::string executablePath();

// The user's home directory, without a trailing separator; empty when the system knows none.
std::string homeDirectory();

// Creates a directory that only its owner may enter (where the system has such modes). False when
// something already has that name; throws PathError when the directory cannot be made otherwise.
bool makeDirectory(const std::string &path);

// Removes a file or an empty directory. False when there is nothing of that name; throws
// PathError when it cannot be removed.
bool removePath(const std::string &path);

// The system's text for an error code, without trailing blanks, control characters and periods.
std::string errorText(int code);

// Reads the file whole, or its first `limit` bytes. Throws FileOpenError. The file is opened
// without waiting (a FIFO never blocks) and anything that is not a regular file is refused, so a
// device is never read without limit.
std::string readFile(const std::string &path, std::size_t limit = std::numeric_limits<std::size_t>::max());
void readFile(const std::string &path, Bytes &bytes, std::size_t limit = std::numeric_limits<std::size_t>::max());

// Replaces the file atomically: a temporary file beside it is written, flushed to disk and
// renamed over the target, so the old contents stay intact on any failure. Throws
// FileCreateError when the file cannot be created and StreamWriteError when writing fails.
// The new file keeps the old one's owner, group and mode (a new file is its owner's alone); a
// symbolic link is followed and kept where the link, the folder holding it and the file it names
// have one owner, and refused otherwise; a dangling link, a file without write permission bits and
// anything that is not a regular file are refused, never replaced. Nothing else in the folder is
// touched: a save cut short leaves nothing behind where the system has nameless files.
void replaceFile(const std::string &path, std::string_view bytes);

enum class Kind { Missing, File, Directory, Other };
Kind kindOf(const std::string &path);

// Whether the two paths name one file: the same file through links and hard links; for a name not
// there yet, the same name in the same folder.
bool sameFile(const std::string &a, const std::string &b);

// The commit record of a folder's save of several files.
inline constexpr std::string_view kCommitRecord = ".kvillo-commit";

// The commit record's format, for tests that plant one: the checksum of a file's bytes, and a
// record of (temporary, target, checksum of the temporary) entries.
struct CommitEntry
{
    std::string temporary;
    std::string target;
    std::uint64_t sum = 0;
};
std::uint64_t checksum(std::string_view bytes);
std::string encodeCommitRecord(const std::vector<CommitEntry> &entries);

// One file of a save that replaces files of a folder together.
struct Replacement
{
    std::string name; // the file's name in the folder
    std::string_view bytes;
    // When not empty, the old file stays under this name in the folder: a hard link where the
    // system allows one, a copy otherwise (a directory in the file's place is moved there). It is
    // made only once every new file is written.
    std::string keepOldAs;
};

// A folder whose files are read and replaced together. On POSIX the folder is held open from its
// first use and every file is reached relative to it, so a running program goes on writing into
// the folder it read from even when that folder is moved and another is put at its path. On
// Windows the path is used.
class Folder
{
public:
    // `path` ends with a separator. `commitNames` are the files of the folder that its saves of
    // several files replace together: only a folder given them writes commit records, and its
    // recovery renames onto no other name.
    explicit Folder(std::string path, std::vector<std::string> commitNames = {});
    ~Folder();
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;

    const std::string &path() const { return m_path; }

    // As sys::readFile, for a file of the folder; errors name the file's full path.
    void readFile(const std::string &name, Bytes &bytes);
    Kind kindOf(const std::string &name);

    // Replaces the files as one: every temporary file is written and flushed to disk first (in
    // the order given); if one fails, none is replaced, the temporaries go, and the error of that
    // file is thrown (FileCreateError with its full path, or StreamWriteError). Then the kept
    // copies are made and, for more than one file (all of them commit names), a commit record
    // naming every temporary and target is written, flushed and renamed into place: the commit
    // point. Before it a failure changes nothing and is thrown; after it the save is made, and a
    // rename that fails is completed at once or, failing that, by the next recover(), never
    // reported as a failure. The temporaries are renamed over their targets, the folder is
    // flushed and the record removed. The caller has run recover() first.
    void replaceFiles(const std::vector<Replacement> &files);

    // Completes a commit cut short: when every temporary the record names is complete or already
    // renamed, the renames are done; when none was renamed yet but one is not complete, the
    // temporaries go and the old files stay. Then leftover temporaries of dead saves are removed.
    // A record that is not one this folder's saves write (damaged, too large, a link, naming
    // anything but the commit names and the program's own temporaries) is acted on in no way: it
    // is renamed to "<record>.rejected-YYYYMMDD-HHMMSS" and that full path returned, to be told to
    // the user. An error reading the record or a file it names, a failing rename, or a commit that
    // can be neither completed nor undone leaves every file as it is and throws RecoveryError;
    // the next call tries again. Does nothing in a folder without commit names.
    std::optional<std::string> recover();

    // Reads the file `name` of the folder as recover() would leave it, changing nothing: while a
    // commit cut short would be completed, its new file is read; otherwise, and beside a record
    // recover() would set aside, the file as it stands. Throws FileOpenError, or RecoveryError
    // when recover() could neither complete nor undo the commit. For readers that take no lock:
    // a pair read so is in step even while a save is half renamed.
    void readRecovered(const std::string &name, Bytes &bytes);

    struct Pending;

private:
    // How writeTemporary treats what it finds at the name.
    enum WriteFlags : unsigned { kFollowLinks = 1, kMayBeDirectory = 2 };

    // The system's branches: the open folder (POSIX), what stands at a name (a link is Other),
    // reading without following a link, following a file's links where that is allowed (the path
    // to write, relative to the folder or full), whether a live save holds a temporary, writing a
    // temporary, giving it a name and renaming it into place, renaming, flushing the folder,
    // removing, keeping an old file, removing leftovers.
    std::intptr_t handle();
    Kind entryKind(const std::string &name);
    void readEntry(const std::string &name, Bytes &bytes, std::size_t limit);
    std::string resolveTarget(const std::string &name);
    bool isHeld(const std::string &name);
    void writeTemporary(const std::string &name, std::string_view bytes, unsigned flags, Pending &pending);
    void nameTemporary(Pending &pending);
    bool commitTemporary(Pending &pending, const std::string &to, int &error);
    bool moveFile(const std::string &from, const std::string &to, int &error);
    void flushFolder(const std::string &name);
    void removeFile(const std::string &name);
    void keepOld(const std::string &target, const std::string &aside, const std::string &name);
    void removeLeftovers();
    void flushFoldersOf(const std::vector<std::string> &targets);

    // The shared steps of recover() and readRecovered().
    struct CommitFile;
    void readForRecovery(const std::string &name, Bytes &bytes, std::size_t limit);
    // The entries of the folder's commit record (of kind `kind`) when it is one this folder's
    // saves write; nothing when it is not.
    std::optional<std::vector<CommitEntry>> ownRecord(Kind kind);
    std::string setAside(const std::string &record);
    // The record's files as they stand, and whether the commit goes forward (otherwise back);
    // throws RecoveryError when it can go neither way, or (`acting`) a temporary is still written.
    std::vector<CommitFile> planCommit(const std::vector<CommitEntry> &entries, bool acting, bool &forward);
    void completeCommit(const std::vector<CommitEntry> &entries);

    std::string m_path;
    std::vector<std::string> m_commitNames;
    std::intptr_t m_handle = -1;
};

// Renames a file or directory; throws PathError (naming `from`) when it cannot.
void renamePath(const std::string &from, const std::string &to);

// Moves the file `from` to `to` in one step, never over anything of that name. Only a regular file
// of this user's own is moved, never a link or another user's file. False when it is not such a
// file or something named `to` is there; throws PathError when the move fails otherwise (say,
// across file systems), leaving `from` as it was.
bool moveOwnFileUnlessThere(const std::string &from, const std::string &to);

// Trims the system's text for an error: trailing blanks, control characters and periods go.
std::string trimErrorText(std::string text);

// A test seam: a hook run before each step of replacing files (each write, each flush to disk,
// each rename, and the removal of a commit record), before each read of a recovery, and before a
// book's lock is taken on the folder it has opened. It may end the process there (or act as
// another process would at that moment), or return an error code to fail the step; 0 lets the
// step run. No hook is set in the program.
enum class Step { Write, Sync, Rename, Remove, Read, Lock };
using StepHook = int (*)(Step step);
void setStepHook(StepHook hook);
int runStepHook(Step step);

// How many flushes to disk (of a file or a directory) succeeded since the process started.
int syncCount();

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

// Who holds a book's lock, as far as can be told.
struct LockHolder
{
    std::string host; // the computer
    std::string process; // its process id
    std::string user; // the login name
    // ThisUser: a program of this user on this computer, which the channel reaches. AnotherUser:
    // a program of another user of this computer. Elsewhere: another computer's, or unknown.
    enum class Kind { ThisUser, AnotherUser, Elsewhere };
    Kind kind = Kind::ThisUser;

    bool operator==(const LockHolder &) const = default;
};

// The exclusive lock of the book in a folder, held until the object goes. The system drops it
// when the process ends, however it ends, so a lock that no one holds is free whatever the files
// say. On Linux the lock is held on the folder itself, so no file swapped, deleted or linked in
// its place can let a second holder in; where the system cannot lock a folder (a network drive),
// and on Windows, it is held on the folder's lock file, which stays in place while it is held.
// The holder writes who it is (`ownerRecord`) into the lock file, only for the information of
// whoever finds the book busy; a lock file that is a link is never written through.
class FolderLock
{
public:
    enum class State { Held, Busy, Unavailable };

    // Tries once to take the lock of the book in `folder` (its path ends with a separator).
    // Unavailable when the folder cannot be opened at all.
    explicit FolderLock(const std::string &folder);
    ~FolderLock();
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    State state() const { return m_state; }
    // When busy: who holds it (a holder that has only just taken it may not be known yet).
    LockHolder holder() const;

    // The lock file's name in the folder.
    static constexpr const char *kFileName = ".kvillo.lock";

private:
    std::intptr_t m_handle; // what is locked
    std::intptr_t m_folder; // the open folder (POSIX)
    State m_state = State::Unavailable;
};

// Folders for the channel between this user's programs, in which no one else can create or
// remove names: each is a directory, not a link, owned by this user and closed to everyone else.
// Every such folder a program of this user may listen in, most likely first ($XDG_RUNTIME_DIR,
// the system's run-time folder of the user, "kvillo-<uid>" in the temporary folder), each ending
// with a separator. On Windows, where the channel is a named pipe, the one entry is empty.
std::vector<std::string> channelFolders();
// The one folder to listen in: $XDG_RUNTIME_DIR when it is such a folder, otherwise
// "kvillo-<uid>" in the temporary folder, made when missing. Throws Error with the reason when
// there is none.
std::string listeningFolder();

// Whether the program at the other end of a connected local socket (a descriptor, or a pipe's
// handle on Windows) runs as this user.
bool peerIsThisUser(std::intptr_t socket);

// "host=...\npid=...\nuser=...\nstarted=YYYYMMDD-HHMMSS\n" for this process.
std::string ownerRecord();

// When a wait on the channel gives up.
using Deadline = std::chrono::steady_clock::time_point;

// The client's end of a connection to a program listening on a local socket (a named pipe on
// Windows) of the name `name`, as channelFolders() and listeningFolder() place them.
class LocalConnection
{
public:
    // Connects, waiting at most `wait` for a listener whose queue is full; not connected when
    // nothing listens at the name.
    LocalConnection(const std::string &name, std::chrono::milliseconds wait);
    ~LocalConnection();
    LocalConnection(const LocalConnection &) = delete;
    LocalConnection &operator=(const LocalConnection &) = delete;

    bool connected() const { return m_handle != -1; }
    // For peerIsThisUser().
    std::intptr_t handle() const { return m_handle; }
    // Sends all of `bytes` unless `deadline` comes first or the other end goes; whether it did.
    bool send(std::string_view bytes, Deadline deadline);
    // What arrives up to and with the first line break, or until the other end closes or
    // `deadline` comes: whatever came by then.
    std::string receiveLine(Deadline deadline);

private:
    std::intptr_t m_handle = -1;
};

} // namespace kvillo::sys

// ---- Randomness and the program's own parts ----
namespace kvillo::sys {

// `size` bytes from the system's source of randomness; throws Error when it gives none.
void randomBytes(void *into, std::size_t size);

// The function `symbol` of the shared library at `path`, loaded once and kept loaded. Throws
// Error with the system's reason when the library cannot be loaded or does not have it.
void *libraryFunction(const std::string &path, const char *symbol);

} // namespace kvillo::sys
