#pragma once

#include "channel/book_server.h"
#include "sys/system.h"

#include <QObject>

#include <memory>
#include <string>

class QLocalServer;

namespace kvillo {

class Platform;

// One running program per address book. The first program to start on a book locks its data
// folder (the system drops the lock when that program ends, however it ends) and listens for
// later starts; a later start asks it to show its window and leaves without touching any file.
// When the book is locked by a program that cannot be reached (another user's, another
// computer's, a hung one) the later start says who holds it and does not run.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    enum class Decision { Run, HandedOver, Refused };

    // `dataFolder`: the address book's folder as the system names it (bytes, not necessarily
    // UTF-8), ending with a separator.
    explicit SingleInstance(std::string dataFolder, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Run: this process now holds the book, or no lock can be made there at all; a holder that
    // cannot listen for later starts has told the user so. HandedOver: the program that holds it
    // has shown its window. Refused: the holder did not answer or is another user's; the user has
    // been told who holds the book.
    Decision start(Platform &platform);

    // Adds entries that the command line hands over (an import, with its identifier) and saves
    // the book; throws, with the reason, when they are not stored.
    void setAddHandler(channel::BookServer::AddHandler handler) { m_server.setAddHandler(std::move(handler)); }

signals:
    // Another start of the program on this address book.
    void showRequested();

private:
    // Listens for the book, which this program holds, and answers programs of its own user.
    // Throws Error with the reason when there is no channel to listen on.
    void listen();

    std::string m_folder;
    std::unique_ptr<sys::FolderLock> m_lock;
    channel::BookServer m_server;
    std::unique_ptr<QLocalServer> m_listener;
};

} // namespace kvillo
