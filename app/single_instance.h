#pragma once

#include "book/address_book.h"
#include "sys/system.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QObject>

#include <functional>
#include <memory>
#include <string>

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
    // the book; returns an empty string when they are stored, otherwise the reason they are not.
    using AddHandler = std::function<std::string(const BookLists &entries, const std::string &importId)>;
    void setAddHandler(AddHandler handler) { m_addHandler = std::move(handler); }

signals:
    // Another start of the program on this address book.
    void showRequested();

private:
    bool askRunningCopyToShow(const QDeadlineTimer &deadline) const;
    QByteArray answer(QByteArray &received);
    // True unless busy; when taken, listens for later starts (or tells the user it cannot).
    bool takeLock(Platform &platform);
    // False, with the reason in `problem`, when there is no channel to listen on.
    bool listen(QString &problem);

    std::string m_folder;
    std::unique_ptr<sys::FolderLock> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    AddHandler m_addHandler;
};

} // namespace kvillo
