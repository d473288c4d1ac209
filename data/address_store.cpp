#include "address_store.h"

#include "errors.h"
#include "system.h"

namespace kvillo {

std::string applicationDirectory()
{
    const std::string exe = sys::executablePath();
    const auto separator = exe.rfind(sys::pathSeparator);
    return separator == std::string::npos ? std::string() : exe.substr(0, separator + 1);
}

AddressStore::AddressStore(std::string applicationDirectory)
    : m_directory(std::move(applicationDirectory))
{ }

std::string AddressStore::dataPath(ListId id) const
{
    return m_directory + "database" + sys::pathSeparator + (id == ListId::Mails ? "mails.dat" : "descriptions.dat");
}

std::string AddressStore::settingsPath() const
{
    return m_directory + "config" + sys::pathSeparator + "config.ini";
}

void AddressStore::load(ListId id, LineList &list)
{
    Bytes bytes;
    sys::readFile(dataPath(id), bytes);
    list.assignText(std::move(bytes));
    m_loaded[static_cast<int>(id)] = true;
}

void AddressStore::save(ListId id, const LineList &list)
{
    Bytes text;
    list.toText(text);
    replaceData(id, std::string_view(text.data(), text.size()));
}

void AddressStore::replaceData(ListId id, std::string_view bytes)
{
    protectUnloaded(id);
    sys::replaceFile(dataPath(id), bytes);
    m_loaded[static_cast<int>(id)] = true;
}

void AddressStore::protectUnloaded(ListId id)
{
    if (isLoaded(id))
        return;
    const std::string path = dataPath(id);
    if (sys::kindOf(path) == sys::Kind::Missing)
        return;
    const std::string base = path + ".unloaded-" + sys::localTimestamp();
    std::string aside = base;
    for (int n = 2; sys::kindOf(aside) != sys::Kind::Missing; ++n)
        aside = base + "-" + std::to_string(n);
    int error = 0;
    if (!sys::renamePath(path, aside, error))
        throw FileCreateError(path, sys::errorText(error));
}

} // namespace kvillo
