#include "cli/book_access.h"

#include "book/address_book.h"
#include "book/book_layout.h"
#include "channel/book_channel.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QThread>

#include <optional>

namespace kvillo::cli {

namespace {

// A window that is still loading a large book answers once it gets to it.
constexpr int kAnswerMs = 30000;
// How long an import waits for another one that holds the book.
constexpr int kWaitForImportMs = 5000;

std::string known(const std::string &value)
{
    return value.empty() ? std::string("неизвестно") : value;
}

// A new import identifier (see AddressStore::isImportId), random.
std::string newImportId()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char *>(words), sizeof words).toHex().toStdString();
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
    const BookLayout layout(m_directory);
    sys::readFile(layout.dataPath(ListId::Descriptions), descriptions);
    sys::readFile(layout.dataPath(ListId::Mails), mails);
}

BookAccess::Outcome BookAccess::append(const exchange::Contacts &contacts) const
{
    const std::string importId = newImportId();
    const std::string folder = BookLayout(m_directory).databaseFolder();
    // The holder is a window, which takes the entries over the channel, or another import, which
    // is done in a moment: ask the one, wait for the other. A window that ends while it has them
    // (or saves them) lets go of the lock, and the save below finds whether they were stored.
    const QDeadlineTimer deadline(kWaitForImportMs);
    bool delivered = false;
    std::optional<sys::FolderLock> lock;
    for (;;) {
        lock.emplace(folder);
        if (lock->state() != sys::FolderLock::State::Busy)
            break;
        const sys::LockHolder holder = lock->holder();
        if (holder.kind != sys::LockHolder::Kind::ThisUser)
            throw Error("Адресная книга открыта программой Kvillo "
                + std::string(
                    holder.kind == sys::LockHolder::Kind::AnotherUser ? "другого пользователя" : "на другом компьютере")
                + " (компьютер " + known(holder.host) + ", процесс " + known(holder.process) + ", пользователь "
                + known(holder.user) + "); ничего не записано");
        bool reached = false;
        const std::optional<channel::Answer> answer
            = channel::ask(folder, channel::addRequest(contacts, importId), QDeadlineTimer(kAnswerMs), &reached);
        delivered = delivered || reached;
        if (answer && answer->word == "added")
            return Outcome::HandedOver;
        if (answer)
            throw Error(
                "работающая программа Kvillo не смогла сохранить записи: " + answer->reason + "; ничего не записано");
        if (deadline.hasExpired()) {
            if (delivered)
                throw Error("Адресная книга открыта в работающей программе Kvillo, которая получила записи, но не "
                            "ответила; возможно, она ещё сохранит их. Проверьте книгу, прежде чем повторять импорт");
            throw Error("Адресная книга открыта в работающей программе Kvillo, которая не отвечает. Закройте её и "
                        "повторите импорт; ничего не записано");
        }
        lock.reset();
        QThread::msleep(50);
    }
    // Held, or no lock can be made at all (no data folder): the load then fails on its own. The
    // load completes a save that a holder cut short, so an import it stored is found recorded.
    AddressBook book(m_directory);
    book.load();
    book.appendAndSave(contacts, nullptr, importId);
    return Outcome::Saved;
}

} // namespace kvillo::cli
