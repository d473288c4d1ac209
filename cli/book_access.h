#pragma once

#include "book/line_list.h"
#include "exchange/exchange.h"
#include "sys/errors.h"
#include "sys/memory.h"

#include <string>

namespace kvillo::cli {

// The book's data files cannot be read (a damaged book, a read error): what it holds is unknown.
// The message says so and why.
class BookReadError : public Error
{
public:
    explicit BookReadError(const std::exception &cause);
};

// Every way the command line reaches the address book, in one place.
class BookAccess
{
public:
    // `applicationDirectory` ends with a separator; the book is its database/ folder.
    explicit BookAccess(std::string applicationDirectory);

    // Reads both lists; a book not made yet holds none. Reads only: takes no lock, creates and
    // writes nothing. Throws BookReadError.
    void load(LineList &descriptions, LineList &mails) const;

    // The bytes of both data files, for a search that needs no lists. Reads only, as load().
    void read(Bytes &descriptions, Bytes &mails) const;

    enum class Outcome { Saved, HandedOver };
    struct Appended
    {
        Outcome outcome = Outcome::Saved;
        AddressBook::ImportCounts counts;
    };
    // Adds the contacts that the book does not hold yet (see AddressBook::appendNewAndSave) at the
    // end of the book, exactly once, and tells how many were added and how many were there. A running program of this user that
    // holds the book gets them to add itself; otherwise they are appended under the book's lock
    // and both data files are saved, addresses first, as the Add dialog saves them. The import
    // carries a new identifier, which the save that stores it records: a holder that ends without
    // an answer may have stored it, and then it is not stored again. Throws Error when the book
    // cannot be read or written, is held by another user's program, or by one that could not
    // take the contacts or did not answer; the message says whether anything may be stored.
    // Throws BookReadError when the book is there but cannot be read. A book not made yet is
    // made first, as the window's first start makes it.
    Appended append(const exchange::Contacts &contacts) const;

private:
    std::string m_directory;
};

} // namespace kvillo::cli
