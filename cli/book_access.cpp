#include "cli/book_access.h"

#include "book/address_book.h"
#include "channel/book_channel.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <QDeadlineTimer>
#include <QThread>

#include <optional>

namespace kvillo::cli {

namespace {

// A window that is still loading a large book answers once it gets to it.
constexpr int kAnswerMs = 30000;
// How long an import waits for another one that holds the book.
constexpr int kWaitForImportMs = 5000;

std::string databaseFolder(const std::string &directory)
{
    return directory + "database" + sys::pathSeparator;
}

} // namespace

BookAccess::BookAccess(std::string applicationDirectory)
    : m_directory(std::move(applicationDirectory))
{ }

void BookAccess::load(LineList &descriptions, LineList &mails) const
{
    Bytes descriptionBytes, mailBytes;
    read(descriptionBytes, mailBytes);
    descriptions.assignText(std::move(descriptionBytes));
    mails.assignText(std::move(mailBytes));
}

void BookAccess::read(Bytes &descriptions, Bytes &mails) const
{
    // Plain reads by path: no lock is taken and a save that another program has under way (or
    // left behind by a crash) is not touched; the window completes it at its next start.
    const std::string folder = databaseFolder(m_directory);
    sys::readFile(folder + "descriptions.dat", descriptions);
    sys::readFile(folder + "mails.dat", mails);
}

BookAccess::Outcome BookAccess::append(const exchange::Contacts &contacts) const
{
    const std::string folder = databaseFolder(m_directory);
    // The holder is a window, which takes the entries over the channel, or another import, which
    // is done in a moment: ask the one, wait for the other.
    const QDeadlineTimer deadline(kWaitForImportMs);
    std::optional<sys::FolderLock> lock;
    for (;;) {
        lock.emplace(folder + ".kvillo.lock");
        if (lock->state() != sys::FolderLock::State::Busy)
            break;
        if (handOverToRunningProgram(folder, contacts))
            return Outcome::HandedOver;
        if (deadline.hasExpired())
            throw Error("Адресная книга открыта в работающей программе Kvillo, которая не отвечает. Закройте её и "
                        "повторите импорт; ничего не записано");
        lock.reset();
        QThread::msleep(50);
    }
    // Held, or no lock can be made at all (a read-only folder): the save then fails on its own.
    AddressBook book(m_directory);
    book.load();
    book.appendAndSave(contacts);
    return Outcome::Saved;
}

bool handOverToRunningProgram(const std::string &dataFolder, const exchange::Contacts &contacts)
{
    const std::optional<channel::Answer> answer
        = channel::ask(channel::name(dataFolder), channel::addRequest(contacts), QDeadlineTimer(kAnswerMs));
    if (!answer)
        return false;
    if (answer->word == "added")
        return true;
    throw Error("работающая программа Kvillo не смогла сохранить записи: " + answer->reason + "; ничего не записано");
}

} // namespace kvillo::cli
