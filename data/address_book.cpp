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
    m_store.savePair(
        m_lists.descriptions, m_lists.mails, order == Order::MailsFirst ? ListId::Mails : ListId::Descriptions);
}

void AddressBook::appendAndSave(const BookLists &entries)
{
    const std::size_t before[2] = {count(ListId::Descriptions), count(ListId::Mails)};
    try {
        for (const ListId id : {ListId::Descriptions, ListId::Mails}) {
            const LineList &added = entries.list(id);
            for (std::size_t i = 0; i < added.size(); ++i)
                append(id, added[i]);
        }
        save(Order::MailsFirst);
    } catch (...) {
        for (const ListId id : {ListId::Descriptions, ListId::Mails}) {
            LineList &list = m_lists.list(id);
            while (list.size() > before[static_cast<int>(id)])
                list.remove(list.size() - 1);
        }
        throw;
    }
}

void AddressBook::backUp(ListId id, const std::string &path)
{
    // Read from the folder the book was loaded from, even if another now stands at its path.
    m_scratch.clear();
    m_scratch.setText(normalizeLineBreaks(m_store.readData(id)));
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
    const auto view = [](const std::optional<std::string> &text) {
        return text ? std::optional<std::string_view>(*text) : std::nullopt;
    };
    m_store.replacePair(view(descriptions), view(mails));
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

} // namespace kvillo
