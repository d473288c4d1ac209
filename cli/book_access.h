#pragma once

#include "book/line_list.h"
#include "exchange/exchange.h"
#include "sys/memory.h"

#include <string>

namespace kvillo::cli {

// Every way the command line reaches the address book, in one place.
class BookAccess
{
public:
    // `applicationDirectory` ends with a separator; the book is its database/ folder.
    explicit BookAccess(std::string applicationDirectory);

    // Reads both lists. Reads only: takes no lock and writes nothing. Throws FileOpenError.
    void load(LineList &descriptions, LineList &mails) const;

    // The bytes of both data files, for a search that needs no lists. Reads only, as load().
    void read(Bytes &descriptions, Bytes &mails) const;

    enum class Outcome { Saved, HandedOver };
    // Adds the contacts at the end of the book. A running program that holds the book gets them
    // to add itself; otherwise they are appended under the book's lock and both data files are
    // saved, addresses first, as the Add dialog saves them. Throws Error when the book cannot be
    // read or written, or is held by a program that could not take them; nothing is written then.
    Outcome append(const exchange::Contacts &contacts) const;

private:
    std::string m_directory;
};

// Gives the contacts to the program that holds the book in `dataFolder` (its database folder),
// which adds and saves them as its Add dialog does. True when it took them, false when no program
// answered; throws Error when it answered that it could not store them.
bool handOverToRunningProgram(const std::string &dataFolder, const exchange::Contacts &contacts);

} // namespace kvillo::cli
