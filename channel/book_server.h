#pragma once

#include "book/address_book.h"

#include <functional>
#include <string>

// The receiving side of the channel (see book_channel.h): what the program that holds a book
// answers to later starts on it and to the command line's imports. The program listens at
// listenName() and hands this what programs of its own user send.
namespace kvillo::channel {

class BookServer
{
public:
    // A later start asks the holder to show itself.
    using ShowHandler = std::function<void()>;
    // Adds the entries of an import handed over (with its identifier) that the book does not hold
    // yet and stores them, telling how many; throws, with the reason, when they are not stored.
    using AddHandler
        = std::function<AddressBook::ImportCounts(const BookLists &entries, const std::string &importId)>;

    explicit BookServer(ShowHandler show);

    // Until a handler is set, an import is refused.
    void setAddHandler(AddHandler handler) { m_add = std::move(handler); }

    // What to send back for the requests received so far (nothing while one is still arriving);
    // what is answered is taken off `received`.
    std::string answer(std::string &received);

private:
    ShowHandler m_show;
    AddHandler m_add;
};

} // namespace kvillo::channel
