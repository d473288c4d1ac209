#pragma once

#include "book/address_book.h"
#include "sys/system.h"

#include <optional>
#include <string>
#include <vector>

// The local channel between the program that holds an address book and later starts on the same
// book: a second window start asks the first to show itself, and the command line hands it the
// entries of an import to add, so nothing is ever written behind the back of a running window.
//
// The channel lives where no other user can make or replace its name, and each end talks only to
// a program of its own user: another user can neither pose as the holder nor hand it entries.
//
// A request is one line, "show", or "add N ID" followed by N bytes: the descriptions, a NUL byte
// and the mails, each as line-file text; ID names the import, so that it is stored once however
// often it is handed over. The answer is one line: "shown", "added" with how many entries were
// added and how many the book had already ("added 12 3"), or "failed" and the reason.
namespace kvillo::channel {

// Where the program of this user that holds the book in `dataFolder` (the database folder as the
// system names it, ending with a separator) listens: the same for every path to the folder,
// another for another folder put in its place, and one per user. Throws Error with the reason
// when there is no folder that only this user can make names in, or the name would be too long.
std::string listenName(const std::string &dataFolder);
// Every name at which a program of this user may listen for the book, most likely first.
std::vector<std::string> names(const std::string &dataFolder);

std::string showRequest();
std::string addRequest(const BookLists &entries, const std::string &importId);

struct Request
{
    enum class Kind { Incomplete, Show, Add, Bad };
    Kind kind = Kind::Incomplete;
    BookLists entries;
    std::string importId;
    std::string problem; // why a request is bad
};
// Takes the first whole request off the front of what a client has sent so far. An "add" whose
// lists differ in length, or whose texts hold a NUL, is bad.
Request takeRequest(std::string &received);

std::string shownAnswer();
std::string addedAnswer(const AddressBook::ImportCounts &counts);
std::string failedAnswer(const std::string &reason);

struct Answer
{
    std::string word; // "shown", "added" or "failed"
    std::string reason;
};
// The counts an "added" answer carries; every entry `offered` added when it carries none.
AddressBook::ImportCounts addedCounts(const Answer &answer, std::size_t offered);
// Sends `request` to the program of this user that holds the book in `dataFolder` and waits for
// the answer until `deadline`; nothing when no such program listens or none answered in time.
// `delivered` (if given) tells whether the whole request reached one.
std::optional<Answer> ask(
    const std::string &dataFolder, const std::string &request, sys::Deadline deadline, bool *delivered = nullptr);

} // namespace kvillo::channel
