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

    // Run: this process now holds the book, or no lock can be made there at all. HandedOver: the
    // program that holds it has shown its window. Refused: the holder did not answer; the user
    // has been told who holds the book.
    Decision start(Platform &platform);

    std::string lockFileName() const;
    // The hand-over channel: the same for every path to the folder, another for another folder
    // put in its place, and one per user.
    QString serverName() const;

    // Adds entries that the command line hands over (an import) and saves the book; returns an
    // empty string when they are stored, otherwise the reason they are not.
    using AddHandler = std::function<std::string(const BookLists &entries)>;
    void setAddHandler(AddHandler handler) { m_addHandler = std::move(handler); }

signals:
    // Another start of the program on this address book.
    void showRequested();

private:
    bool askRunningCopyToShow(const QDeadlineTimer &deadline) const;
    QByteArray answer(QByteArray &received);
    // True unless busy; listens for later starts when taken.
    bool takeLock();
    void listen();

    std::string m_folder;
    std::unique_ptr<sys::FolderLock> m_lock;
    std::unique_ptr<QLocalServer> m_server;
    AddHandler m_addHandler;
};

} // namespace kvillo
