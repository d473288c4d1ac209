#include "address_book.h"

#include "errors.h"
#include "system.h"

namespace kvillo {

AddressBook::AddressBook(std::string applicationDirectory)
    : m_store(std::move(applicationDirectory))
{ }

void AddressBook::load()
{
    load(ListId::Mails);
    load(ListId::Descriptions);
}

void AddressBook::load(ListId id)
{
    m_store.load(id, m_lists.list(id));
}

void AddressBook::append(std::string_view description, std::string_view mail)
{
    append(ListId::Descriptions, description);
    append(ListId::Mails, mail);
}

void AddressBook::append(ListId id, std::string_view text)
{
    m_lists.list(id).append(text);
}

void AddressBook::replace(ListId id, long long row, std::string_view text)
{
    m_lists.list(id).at(row);
    m_lists.list(id).replace(static_cast<std::size_t>(row), text);
}

void AddressBook::remove(ListId id, long long row)
{
    m_lists.list(id).at(row);
    m_lists.list(id).remove(static_cast<std::size_t>(row));
}

void AddressBook::save(Order order)
{
    const ListId first = order == Order::MailsFirst ? ListId::Mails : ListId::Descriptions;
    const ListId second = order == Order::MailsFirst ? ListId::Descriptions : ListId::Mails;
    m_store.save(first, m_lists.list(first));
    m_store.save(second, m_lists.list(second));
}

void AddressBook::backUp(ListId id, const std::string &path)
{
    m_scratch.clear();
    m_scratch.loadFromFile(m_store.dataPath(id));
    m_scratch.saveToFile(path);
}

std::string AddressBook::readBackup(const std::string &path)
{
    m_scratch.clear();
    m_scratch.loadFromFile(path);
    return m_scratch.text();
}

void AddressBook::restore(const std::optional<std::string> &descriptions, const std::optional<std::string> &mails)
{
    if (!descriptions) {
        if (mails)
            write(ListId::Mails, *mails);
        return;
    }
    std::optional<std::string> previous;
    if (mails) {
        try {
            previous = sys::readFile(m_store.dataPath(ListId::Descriptions));
        } catch (const Error &) {
            // Nothing readable to put back; an unloaded file is kept aside by the store.
        }
    }
    write(ListId::Descriptions, *descriptions);
    if (!mails)
        return;
    try {
        write(ListId::Mails, *mails);
    } catch (...) {
        if (previous)
            write(ListId::Descriptions, *previous);
        throw;
    }
}

void AddressBook::restoreFrom(
    const std::optional<std::string> &descriptionsPath, const std::optional<std::string> &mailsPath)
{
    std::optional<std::string> descriptions;
    std::optional<std::string> mails;
    if (descriptionsPath)
        descriptions = readBackup(*descriptionsPath);
    if (mailsPath)
        mails = readBackup(*mailsPath);
    restore(descriptions, mails);
}

// Every data file a restore replaces is written here.
void AddressBook::write(ListId id, std::string_view bytes)
{
    m_store.replaceData(id, bytes);
}

} // namespace kvillo
