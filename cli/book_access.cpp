#include "cli/book_access.h"

#include "data/address_store.h"
#include "data/system.h"

#include <QDir>
#include <QLockFile>

namespace kvillo::cli {

BookAccess::BookAccess(std::string applicationDirectory)
    : m_directory(std::move(applicationDirectory))
{ }

void BookAccess::load(LineList &descriptions, LineList &mails) const
{
    AddressStore store(m_directory);
    store.load(ListId::Descriptions, descriptions);
    store.load(ListId::Mails, mails);
}

void BookAccess::read(Bytes &descriptions, Bytes &mails) const
{
    const AddressStore store(m_directory);
    sys::readFile(store.dataPath(ListId::Descriptions), descriptions);
    sys::readFile(store.dataPath(ListId::Mails), mails);
}

BookAccess::Outcome BookAccess::append(const exchange::Contacts &contacts) const
{
    // The running window's own lock on the program directory.
    QLockFile lock(QDir(QString::fromStdString(m_directory)).filePath(QStringLiteral(".kvillo.lock")));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(0) && lock.error() == QLockFile::LockFailedError) {
        if (handOverToRunningProgram(m_directory, contacts))
            return Outcome::HandedOver;
        throw Error("Адресная книга открыта в работающей программе Kvillo. Закройте её и повторите импорт; "
                    "ничего не записано");
    }
    // A lock that cannot even be written (a read-only folder) leaves the save to fail on its own.
    AddressStore store(m_directory);
    LineList descriptions, mails;
    store.load(ListId::Descriptions, descriptions);
    store.load(ListId::Mails, mails);
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        descriptions.append(contacts.descriptions[i]);
        mails.append(contacts.mails[i]);
    }
    store.save(ListId::Mails, mails);
    store.save(ListId::Descriptions, descriptions);
    return Outcome::Saved;
}

bool handOverToRunningProgram(const std::string &, const exchange::Contacts &)
{
    // The running program does not take contacts over its channel yet.
    return false;
}

} // namespace kvillo::cli
