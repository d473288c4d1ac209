#include "cli/book_access.h"

#include "book/address_book.h"
#include "book/book_folder.h"
#include "book/book_layout.h"
#include "channel/book_channel.h"
#include "channel/book_door.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <chrono>
#include <optional>

namespace kvillo::cli {

namespace {

// A window that is still loading a large book answers once it gets to it.
constexpr std::chrono::milliseconds kAnswerWait(30000);
// How long an import waits for another one that holds the book.
constexpr std::chrono::milliseconds kWaitForImport(5000);

std::string known(const std::string &value)
{
    return value.empty() ? std::string("неизвестно") : value;
}

// A new import identifier (see AddressStore::isImportId), random.
std::string newImportId()
{
    unsigned char bytes[16];
    sys::randomBytes(bytes, sizeof bytes);
    std::string id;
    for (const unsigned char byte : bytes)
        id += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 15]};
    return id;
}

} // namespace

BookReadError::BookReadError(const std::exception &cause)
    : Error(std::string("не удалось прочитать адресную книгу: ") + cause.what())
{ }

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
    // No lock is taken and a save that another program has under way (or left behind by a crash)
    // is not touched; the window completes it at its next start. Until then the files are read
    // as it will leave them, so that a save cut between its two renames is not read half old.
    // A book not made yet (no window has started on it, no import added to it) holds no entries.
    if (isAbsentBook(m_directory)) {
        descriptions.clear();
        mails.clear();
        return;
    }
    AddressStore store(m_directory);
    try {
        store.readRecovered(ListId::Descriptions, descriptions);
        store.readRecovered(ListId::Mails, mails);
    } catch (const Error &e) {
        throw BookReadError(e);
    }
}

BookAccess::Appended BookAccess::append(const exchange::Contacts &contacts) const
{
    const std::string importId = newImportId();
    // A book not made yet is made as a first start makes it: its folders now, before the lock
    // (which lives in the database folder), and data files missing from a folder that is there
    // once the lock is held, so that no other import can have stored anything in them yet.
    createMissingBook(m_directory);
    const std::string folder = BookLayout(m_directory).databaseFolder();
    // The holder is a window, which takes the entries over the channel, or another import, which
    // is done in a moment: ask the one, wait for the other. A window that ends while it has them
    // (or saves them) lets go of the lock, and the save below finds whether they were stored.
    const channel::Door door = channel::lockOrHandOver(
        folder, [&] { return channel::addRequest(contacts, importId); },
        std::chrono::steady_clock::now() + kWaitForImport, kAnswerWait);
    switch (door.outcome) {
    case channel::Door::Outcome::Held:
        createMissingBook(m_directory);
        break;
    case channel::Door::Outcome::Answered:
        if (door.answer->word == "added")
            return {Outcome::HandedOver, channel::addedCounts(*door.answer, contacts.size())};
        throw Error(
            "работающая программа Kvillo не смогла сохранить записи: " + door.answer->reason + "; ничего не записано");
    case channel::Door::Outcome::OtherHolder:
        throw Error("Адресная книга открыта программой Kvillo "
            + std::string(door.holder.kind == sys::LockHolder::Kind::AnotherUser ? "другого пользователя"
                                                                                 : "на другом компьютере")
            + " (компьютер " + known(door.holder.host) + ", процесс " + known(door.holder.process) + ", пользователь "
            + known(door.holder.user) + "); ничего не записано");
    case channel::Door::Outcome::NoAnswer:
        if (door.delivered)
            throw Error("Адресная книга открыта в работающей программе Kvillo, которая получила записи, но не "
                        "ответила; возможно, она ещё сохранит их. Проверьте книгу, прежде чем повторять импорт");
        throw Error("Адресная книга открыта в работающей программе Kvillo, которая не отвечает. Закройте её и "
                    "повторите импорт; ничего не записано");
    }
    // Held, or no lock can be made at all (no data folder): the load then fails on its own. The
    // load completes a save that a holder cut short, so an import it stored is found recorded.
    AddressBook book(m_directory);
    try {
        book.load();
    } catch (const Error &e) {
        throw BookReadError(e);
    }
    return {Outcome::Saved, book.appendNewAndSave(contacts, importId)};
}

} // namespace kvillo::cli
