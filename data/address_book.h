#pragma once

#include "address_store.h"
#include "line_list.h"
#include "scratch_buffer.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kvillo {

// The two lists of the address book: entry i is descriptions[i] with mails[i].
struct BookLists
{
    LineList descriptions;
    LineList mails;

    LineList &list(ListId id) { return id == ListId::Mails ? mails : descriptions; }
    const LineList &list(ListId id) const { return id == ListId::Mails ? mails : descriptions; }
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

    AddressStore &store() { return m_store; }
    const AddressStore &store() const { return m_store; }
    ScratchBuffer &scratch() { return m_scratch; }
    const ScratchBuffer &scratch() const { return m_scratch; }
    const BookLists &lists() const { return m_lists; }

    // Reads the mails, then the descriptions. A file that cannot be read throws FileOpenError and
    // leaves its list as it was.
    void load();
    void load(ListId id);

    std::size_t count(ListId id) const { return m_lists.list(id).size(); }
    // The text at `row`; throws ListIndexError outside the list.
    std::string_view text(ListId id, long long row) const { return m_lists.list(id).at(row); }

    void append(std::string_view description, std::string_view mail);
    void append(ListId id, std::string_view text);
    void replace(ListId id, long long row, std::string_view text); // throws ListIndexError
    void remove(ListId id, long long row); // throws ListIndexError

    // Writes both data files as one commit: either both are replaced or neither. The order names
    // the file whose failure is reported first.
    enum class Order { MailsFirst, DescriptionsFirst };
    void save(Order order);

    // Appends the entries at the end and saves both files as the Add dialog does (mails first).
    // When the save fails the lists are left as they were before and the error is thrown, so the
    // same entries can simply be added again.
    void appendAndSave(const BookLists &entries);

    // Copies one data file, through the scratch buffer, to `path`.
    void backUp(ListId id, const std::string &path);

    // A backup file's text as a restore takes it (line breaks made CR LF, cut at a NUL); the text
    // stays in the scratch buffer. Throws FileOpenError or MemoCapacityError.
    std::string readBackup(const std::string &path);
    // Replaces the data files by the texts given (either may be absent); then load() shows them.
    // All or nothing: both files are replaced as one commit.
    void restore(const std::optional<std::string> &descriptions, const std::optional<std::string> &mails);
    // Reads both chosen backups first, so that a file that cannot be read changes nothing.
    void restoreFrom(const std::optional<std::string> &descriptionsPath, const std::optional<std::string> &mailsPath);

private:
    AddressStore m_store;
    BookLists m_lists;
    ScratchBuffer m_scratch;
};

} // namespace kvillo
