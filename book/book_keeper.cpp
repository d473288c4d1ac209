#include "book_keeper.h"

#include "book_folder.h"
#include "sys/errors.h"
#include "sys/system.h"

namespace kvillo {

BookKeeper::BookKeeper(std::string applicationDirectory, std::string programName)
    : m_book(std::move(applicationDirectory))
    , m_programName(std::move(programName))
{ }

std::vector<std::string> BookKeeper::takeNotices()
{
    std::vector<std::string> notices = m_book.takeStoreNotices();
    for (const AddressStore::KeptAside &kept : m_book.takeKeptAside())
        notices.push_back("Файл «" + kept.file
            + "» был прочитан не полностью (в нём есть нулевой байт) или не прочитан вовсе. Его прежнее "
              "содержимое сохранено в «"
            + kept.copy + "».");
    return notices;
}

void BookKeeper::saveAtClose()
{
    m_book.save(AddressBook::Order::DescriptionsFirst);
}

std::string BookKeeper::newRecoveryFolder() const
{
    const std::string base
        = recoveryParent(m_book.store().applicationDirectory(), m_programName) + "recovery-" + sys::localTimestamp();
    std::string folder = base;
    for (int n = 2; sys::kindOf(folder) != sys::Kind::Missing; ++n)
        folder = base + "-" + std::to_string(n);
    return folder;
}

void BookKeeper::writeRecoveryCopy(const std::string &folder) const
{
    makeDirectories(folder);
    const std::string directory = folder + sys::pathSeparator;
    Bytes bytes;
    for (const ListId id : {ListId::Descriptions, ListId::Mails}) {
        bytes.clear();
        m_book.lists().list(id).toText(bytes);
        sys::replaceFile(
            directory + std::string(BookLayout::dataFileName(id)), std::string_view(bytes.data(), bytes.size()));
    }
}

bool BookKeeper::saveForTermination(const Report &report)
{
    try {
        saveAtClose();
        for (const std::string &notice : takeNotices())
            report(notice);
        return true;
    } catch (...) {
        report(describe(std::current_exception()));
    }
    const std::string folder = newRecoveryFolder();
    try {
        writeRecoveryCopy(folder);
        report("the entries were written to " + folder);
        return true;
    } catch (...) {
        report(describe(std::current_exception()));
        return false;
    }
}

std::string BookKeeper::describe(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

} // namespace kvillo
