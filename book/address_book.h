#pragma once

#include "address_store.h"
#include "line_list.h"
#include "scratch_buffer.h"
#include "settings.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvillo {

// The two lists of the address book: entry i is descriptions[i] with mails[i].
struct BookLists
{
    LineList descriptions;
    LineList mails;

    LineList &list(ListId id) { return id == ListId::Mails ? mails : descriptions; }
    const LineList &list(ListId id) const { return id == ListId::Mails ? mails : descriptions; }
};

// A row of one list that follows its entry while the list changes: removing an entry above it
// moves it up, appending moves nothing. It loses its row when its own entry is removed, and when
// the list is loaded again or restored (the entries were replaced).
class RowHandle
{
public:
    // A handle on no row.
    RowHandle() = default;

    // The entry's row now, or nothing when the entry is gone.
    std::optional<long long> row() const;

private:
    friend class AddressBook;
    explicit RowHandle(std::shared_ptr<long long> row)
        : m_row(std::move(row))
    { }

    // -1 once the entry is gone; shared with the document, which moves it.
    std::shared_ptr<long long> m_row;
};

// Where the texts of an edited entry go in each list: over the row its handle follows, or at the
// end of a list in which the entry had no row.
struct EntryRows
{
    std::optional<RowHandle> descriptions;
    std::optional<RowHandle> mails;

    const std::optional<RowHandle> &of(ListId id) const { return id == ListId::Mails ? mails : descriptions; }
};

// What shows the lists (a window's list views), registered with the document. Each change the
// document makes to a list runs inside the matching call, so the views are told before and after
// it: a row appended, removed or replaced, or the whole list read anew (a load, a restore). What
// the change throws goes on through the call. By default nothing is shown.
class ListViews
{
public:
    using Change = std::function<void()>;
    virtual ~ListViews() = default;
    virtual void inserting(ListId, long long, const Change &change) { change(); }
    virtual void removing(ListId, long long, const Change &change) { change(); }
    virtual void replacing(ListId, long long, const Change &change) { change(); }
    virtual void resetting(ListId, const Change &change) { change(); }
};

// The address book as a document: its two lists, the files they live in and the scratch buffer
// the file commands work through. Everything a user can do to the book without a window is here;
// the window, a test or the command line drive it alike.
//
// The lists may differ in length when the files on disk do; each list is then changed on its own.
class AddressBook
{
public:
    // `applicationDirectory` holds database/ and config/ and ends with a path separator.
    explicit AddressBook(std::string applicationDirectory);

    const AddressStore &store() const { return m_store; }
    const ScratchBuffer &scratch() const { return m_scratch; }
    const BookLists &lists() const { return m_lists; }

    // Views told of every change to the lists from now on, until removed; each is registered once.
    // A view must be removed before it goes.
    void addViews(ListViews &views);
    void removeViews(ListViews &views);

    // Reads the mails, then the descriptions. A file that cannot be read throws FileOpenError and
    // leaves its list as it was; a list read anew loses the rows of its handles.
    void load();
    void load(ListId id);

    std::size_t count(ListId id) const { return m_lists.list(id).size(); }
    // The text at `row`; throws ListIndexError outside the list.
    std::string_view text(ListId id, long long row) const { return m_lists.list(id).at(row); }

    void append(std::string_view description, std::string_view mail);
    void append(ListId id, std::string_view text);
    // Every item of `items`, in order.
    void append(ListId id, const LineList &items);
    // Puts `text` at `row` (up to the list's length), the rows from there moving down; throws
    // ListIndexError beyond.
    void insert(ListId id, long long row, std::string_view text);
    void replace(ListId id, long long row, std::string_view text); // throws ListIndexError
    void remove(ListId id, long long row); // throws ListIndexError

    // A handle on `row` of the list, kept up to date by the changes above; throws ListIndexError.
    RowHandle track(ListId id, long long row);

    // Writes both data files as one commit: either both are replaced or neither. The order names
    // the file whose failure is reported first.
    enum class Order { MailsFirst, DescriptionsFirst };
    // An import handed over with an identifier records it in the same commit (see appendAndSave).
    void save(Order order, const std::string &importId = {});

    // Appends the entries at the end and saves both files as the Add dialog does (mails first).
    // When the save fails the lists are left as they were before and the error is thrown, so the
    // same entries can simply be added again. The views are told of every row changed, and of its
    // undoing. An import handed over with an identifier (`importId`, see AddressStore::isImportId) is
    // recorded with the entries, and one already recorded is not added again: false then.
    bool appendAndSave(const BookLists &entries, const std::string &importId = {});

    // What an import added, and what it left out because the book had it already.
    struct ImportCounts
    {
        std::size_t added = 0;
        std::size_t alreadyThere = 0;
    };
    // As appendAndSave, for an import: an entry whose description and address the book already
    // holds together (or an earlier one of `entries` does) is left out and counted, so the same
    // file imported twice adds nothing the second time. With nothing left to add nothing is
    // saved. An import already recorded (stored by a holder that then ended without answering)
    // counts every entry as added: that import added them.
    ImportCounts appendNewAndSave(const BookLists &entries, const std::string &importId = {});
    // Puts an edited entry's texts where `rows` say and saves both files as the Edit dialog does
    // (mails first). When the save fails the old texts are put back and the error is thrown, as
    // above. An entry deleted meanwhile is no error but an answer: nothing changes, and false.
    [[nodiscard]] bool replaceAndSave(const EntryRows &rows, std::string_view description, std::string_view mail);

    // Removes the entry at `row` of each list that has one (a list shorter than `row` keeps its
    // entries) and saves both files as an Add does (mails first). When the save fails the entry is
    // put back where it was and the error is thrown. Throws ListIndexError, changing nothing, when
    // neither list has the row.
    void removeAndSave(long long row);

    // Copies one data file, through the scratch buffer, to `path`. A `path` that names a file of
    // the book itself is refused with an Error that says so, and nothing is written.
    void backUp(ListId id, const std::string &path);

    // A backup file's text as a restore takes it (line breaks made CR LF); the text stays in the
    // scratch buffer. Only a file that loads whole is taken: one larger than the scratch buffer
    // holds throws MemoCapacityError (known from its size, before reading), one with a NUL byte
    // NulByteError; a file that cannot be read throws FileOpenError.
    std::string readBackup(const std::string &path);

    // How the two data files would pair after a restore of the texts given (either may be absent:
    // that data file then stays as it stands on disk, and is read for the comparison).
    struct RestoreCheck
    {
        std::size_t descriptionLines = 0;
        std::size_t mailLines = 0;
        // The e-mail side holds no "@" where the descriptions do: the files chosen the wrong way round.
        bool mailsWithoutAt = false;

        bool inStep() const { return descriptionLines == mailLines && !mailsWithoutAt; }
    };
    // Throws FileOpenError when the data file that stays cannot be read. With neither text given
    // nothing is restored, and the check is in step.
    RestoreCheck checkRestore(const std::optional<std::string> &descriptions, const std::optional<std::string> &mails);
    // Replaces the data files by the texts given, both as one commit, and the lists follow at once:
    // a restored list holds its text, the other is read again from its file (with neither given,
    // both are). So whatever saves afterwards writes the restored book. Every handle loses its row.
    void restore(const std::optional<std::string> &descriptions, const std::optional<std::string> &mails);
    // Reads both chosen backups first, so that a file that cannot be read changes nothing.
    void restoreFrom(const std::optional<std::string> &descriptionsPath, const std::optional<std::string> &mailsPath);

    // What the store has to tell the user since the last call (see AddressStore::takeNotices and
    // takeKeptAside).
    std::vector<std::string> takeStoreNotices() { return m_store.takeNotices(); }
    std::vector<AddressStore::KeptAside> takeKeptAside() { return m_store.takeKeptAside(); }

    // Reads the settings file through the scratch buffer into `settings`; what was read before a
    // failure stays in `settings` when the failure is thrown.
    void readSettings(Settings &settings);
    // Writes the settings file through the scratch buffer, which is left empty; throws.
    void writeSettings(const SettingsValues &values);
    // Builds a report of the lists in the scratch buffer (`build` fills it, the print command);
    // the report stays there until the buffer is next used.
    void report(const std::function<void(ScratchBuffer &memo, const BookLists &lists)> &build);

    // How many saves of the data files have succeeded: a command that waits on the user can tell
    // whether the book was saved meanwhile (by an import handed over from the command line).
    std::uint64_t saves() const { return m_saves; }

private:
    // Runs `change` inside the views' notice of it, the first registered outermost.
    enum class Notice { Insert, Remove, Replace, Reset };
    void shown(Notice notice, ListId id, long long row, const ListViews::Change &change, std::size_t view = 0);
    // Reads the list's file anew (throws as load), the views told.
    void reload(ListId id);
    // The entries of the list are no longer those its handles were made on.
    void forgetRows(ListId id);

    AddressStore m_store;
    BookLists m_lists;
    ScratchBuffer m_scratch;
    // The rows handed out per list; a handle nobody holds any more is dropped on the next change.
    std::array<std::vector<std::weak_ptr<long long>>, 2> m_tracked;
    std::uint64_t m_saves = 0;
    std::vector<ListViews *> m_views;
};

} // namespace kvillo
