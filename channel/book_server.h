#pragma once

#include "book/address_book.h"

#include <QByteArray>

#include <functional>
#include <memory>
#include <string>

class QLocalServer;

// The receiving side of the channel (see book_channel.h): the program that holds a book listens
// for later starts on it and for the command line's imports, and answers programs of its own user
// only.
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
    ~BookServer();
    BookServer(const BookServer &) = delete;
    BookServer &operator=(const BookServer &) = delete;

    // Until a handler is set, an import is refused.
    void setAddHandler(AddHandler handler) { m_add = std::move(handler); }

    // Listens for the book in `dataFolder` (ending with a separator), which this program holds.
    // Throws Error with the reason when there is no channel to listen on.
    void listen(const std::string &dataFolder);

    // What to send back for the requests received so far (nothing while one is still arriving);
    // what is answered is taken off `received`.
    QByteArray answer(QByteArray &received);

private:
    ShowHandler m_show;
    AddHandler m_add;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace kvillo::channel
