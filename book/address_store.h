#pragma once

#include "book_layout.h"
#include "line_list.h"

#include "sys/system.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvillo {

// Where the program's own files lie, and how the data files are read and written.
//
// A data file that has not been loaded whole since the program started still holds the user's
// entries (it could not be read at start-up, or a NUL byte ended its text early). Before the
// program first writes over such a file, the stored file is kept aside as
// "<name>.unloaded-YYYYMMDD-HHMMSS", so nothing stored is ever lost; the copy is made only once the
// new file is written, so a save that fails changes nothing.
//
// The two data files are one record split in two, and are saved as a pair that commits whole: a
// crash at any moment leaves the old pair or the new pair. A commit cut short is completed or
// undone before the store reads or writes a data file; a commit record that is not one of the
// store's own is set aside untouched and told of (takeNotices); a commit that cannot be completed
// now throws RecoveryError and leaves everything for the next try.
class AddressStore
{
public:
    // `applicationDirectory` ends with a path separator.
    explicit AddressStore(std::string applicationDirectory);

    const std::string &applicationDirectory() const { return m_layout.directory(); }
    const BookLayout &layout() const { return m_layout; }
    std::string dataPath(ListId id) const { return m_layout.dataPath(id); }
    std::string settingsPath() const { return m_layout.settingsPath(); }
    // Whether `path` names one of the book's own files (data files, settings, lock, commit record,
    // import journal), through links and hard links too: nothing may be written over one of them
    // from outside the store.
    bool isBookFile(const std::string &path) const;

    // Fills `list` from its data file; throws FileOpenError and leaves `list` as it was.
    void load(ListId id, LineList &list);
    // The data file's bytes as stored (for a backup), from the folder `load` reads; throws
    // FileOpenError.
    std::string readData(ListId id);
    // The data file's bytes as the next load will find them, for a reader that takes no lock:
    // nothing is completed, set aside or written, yet a save half renamed is read as made. Throws
    // FileOpenError or RecoveryError.
    void readRecovered(ListId id, Bytes &bytes);
    // Writes `list` to its data file; throws FileCreateError or StreamWriteError.
    void save(ListId id, const LineList &list);
    // Writes raw line-file bytes to a data file (a restore), with the same protection.
    void replaceData(ListId id, std::string_view bytes);

    // Writes both lists as one commit: either both files are replaced or neither. The files are
    // written in the order given by `first` (so a failure names the file that failed; the close
    // writes descriptions first, an Add or Edit mails first). Throws FileCreateError or
    // StreamWriteError; both old files are then as they were. A save that reached its commit
    // record does not fail: a rename that fails after it is completed at once, or by the store's
    // next read or write (at the latest the next start).
    void savePair(const LineList &descriptions, const LineList &mails, ListId first = ListId::Descriptions);
    // The same, for an import handed over by the command line: `importId` (see isImportId) is
    // recorded in the book's journal of imports in the same commit, so that the import is found
    // stored exactly when its entries are.
    void savePair(const LineList &descriptions, const LineList &mails, ListId first, const std::string &importId);
    // Whether the import is recorded as stored (after completing any commit cut short). Throws
    // FileOpenError when the journal is there but cannot be read.
    bool hasImported(const std::string &importId);
    // An import's identifier: 32 lowercase hexadecimal digits.
    static bool isImportId(std::string_view text);

    // The same for raw line-file bytes (a restore): the files given are replaced as one commit.
    void replacePair(std::optional<std::string_view> descriptions, std::optional<std::string_view> mails);

    // Whether the data file has been loaded whole (or written) since start-up.
    bool isLoaded(ListId id) const { return m_loaded[static_cast<int>(id)]; }

    // The copies kept aside since the last call (see above), to tell the user: the data file's
    // full path and its copy's.
    struct KeptAside
    {
        std::string file;
        std::string copy;
    };
    std::vector<KeptAside> takeKeptAside();
    // What else is to be told to the user once, as sentences, since the last call: a commit record
    // set aside.
    std::vector<std::string> takeNotices();
    // Where a program whose stores are made out of its sight (the command line) hears of notices
    // at once; they are then not kept for takeNotices. Null: kept.
    using NoticeHandler = void (*)(const std::string &notice);
    static void setNoticeHandler(NoticeHandler handler);

private:
    struct Write
    {
        ListId id;
        std::string_view bytes;
    };
    void write(const std::vector<Write> &writes, const std::string &importId = {});
    // The identifiers in the journal, oldest first.
    std::vector<std::string> importJournal();
    void recover();

    BookLayout m_layout;
    sys::Folder m_database;
    std::array<bool, 2> m_loaded{false, false};
    std::vector<KeptAside> m_keptAside;
    std::vector<std::string> m_notices;
};

} // namespace kvillo
