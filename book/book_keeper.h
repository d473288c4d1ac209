#pragma once

#include "address_book.h"

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace kvillo {

// What the program does for the book beyond a single command: the save when the program ends, the
// recovery copy of entries that cannot be saved, and what the user is to be told once of files the
// store kept or set aside. It asks no one and shows nothing: its owner asks, and shows or passes on
// what it tells.
class BookKeeper
{
public:
    // How something is told where no one can be asked: one line of text.
    using Report = std::function<void(const std::string &line)>;

    // `applicationDirectory` holds the book (database/ and config/) and ends with a path
    // separator; `programName` names the folder of recovery copies in the user's data folder.
    BookKeeper(std::string applicationDirectory, std::string programName);

    AddressBook &book() { return m_book; }
    const AddressBook &book() const { return m_book; }

    // What the user is to be told since the last call, as sentences: a commit record the store
    // set aside, each data file kept aside before a save wrote over it. Called after whatever
    // loads or saves the book.
    std::vector<std::string> takeNotices();

    // Saves the book as the program ends (descriptions first); throws, with the book unchanged on disk.
    void saveAtClose();

    // A new folder for a recovery copy, not made yet: named with the date and time (see recoveryParent).
    std::string newRecoveryFolder() const;
    // Writes every entry to `folder` as descriptions.dat and mails.dat, made private to the user
    // with the folders above it. Throws with the reason; a folder that cannot be made fails the
    // first write.
    void writeRecoveryCopy(const std::string &folder) const;

    // The program is told to end and no one can be asked: saves as saveAtClose does, and when that
    // fails writes a recovery copy. Each failure, each notice and where the copy went goes to
    // `report`. False only when not even the copy could be written.
    bool saveForTermination(const Report &report);

    // The text of an error for a report.
    static std::string describe(std::exception_ptr error);

private:
    AddressBook m_book;
    std::string m_programName;
};

} // namespace kvillo
