#include "book_folder.h"

#include "book_layout.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <cstdlib>
#include <vector>

namespace kvillo {

namespace {

bool isSeparator(char c)
{
    return c == '/' || c == sys::pathSeparator;
}

bool isAbsolute(std::string_view path)
{
    const bool drive = path.size() >= 3 && path[1] == ':' && isSeparator(path[2]);
    return (!path.empty() && isSeparator(path.front())) || drive;
}

std::string withoutTrailingSeparators(std::string_view path)
{
    while (path.size() > 1 && isSeparator(path.back()))
        path.remove_suffix(1);
    return std::string(path);
}

} // namespace

bool makeDirectories(const std::string &path)
{
    for (std::size_t end = 1; end <= path.size(); ++end) {
        if (end < path.size() && !isSeparator(path[end]))
            continue;
        const std::string prefix = path.substr(0, end);
        try {
            if (sys::kindOf(prefix) == sys::Kind::Missing)
                sys::makeDirectory(prefix); // made meanwhile by someone else: the check below tells
        } catch (const Error &) {
            return false;
        }
    }
    return sys::kindOf(path) == sys::Kind::Directory;
}

namespace {

// What a first start puts into a new book folder, in the order it is created.
std::vector<std::string> newBookEntries(const std::string &folder)
{
    const BookLayout layout(folder + sys::pathSeparator);
    const auto withoutSeparator = [](std::string path) {
        path.pop_back();
        return path;
    };
    return {withoutSeparator(layout.databaseFolder()), withoutSeparator(layout.configFolder()),
        layout.dataPath(ListId::Mails), layout.dataPath(ListId::Descriptions), layout.settingsPath()};
}

void removeNewBook(const std::string &folder)
{
    std::vector<std::string> entries = newBookEntries(folder);
    entries.insert(entries.begin(), folder);
    // As much as can go goes: what cannot stays behind under the prefix of a book being made.
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        try {
            sys::removePath(*entry);
        } catch (const Error &) { }
    }
}

} // namespace

namespace {

// The user's data folder, without a trailing separator.
std::string userDataFolder(std::string_view xdgDataHome, std::string_view home)
{
    const auto trimmed = [](std::string_view path) {
        while (!path.empty() && isSeparator(path.back()))
            path.remove_suffix(1);
        return std::string(path);
    };
    const char separator = sys::pathSeparator;
    return isAbsolute(xdgDataHome) ? trimmed(xdgDataHome) : trimmed(home) + separator + ".local" + separator + "share";
}

// $XDG_DATA_HOME as the environment has it now.
const char *xdgDataHome()
{
    const char *dataHome = std::getenv("XDG_DATA_HOME");
    return dataHome != nullptr ? dataHome : "";
}

#ifdef KVILLO_USER_DATA
constexpr bool kBookInUserData = true;
#else
constexpr bool kBookInUserData = false;
#endif

} // namespace

std::string userBookDirectory(std::string_view xdgDataHome, std::string_view home)
{
    return userDataFolder(xdgDataHome, home) + sys::pathSeparator + "kvillo" + sys::pathSeparator;
}

std::string recoveryParent(const std::string &bookDirectory, std::string_view programName)
{
    return recoveryParent(kBookInUserData, bookDirectory, programName, xdgDataHome(), sys::homeDirectory());
}

std::string recoveryParent(bool insideBook, const std::string &bookDirectory, std::string_view programName,
    std::string_view xdgDataHome, std::string_view home)
{
    if (insideBook)
        return bookDirectory;
    return userDataFolder(xdgDataHome, home) + sys::pathSeparator + std::string(programName) + sys::pathSeparator;
}

bool createBookOnFirstStart(const std::string &directory)
{
    const std::string folder = withoutTrailingSeparators(directory);
    if (sys::kindOf(folder) != sys::Kind::Missing)
        return false;
    std::size_t cut = folder.size();
    while (cut > 0 && !isSeparator(folder[cut - 1]))
        --cut;
    if (cut == 0 || !makeDirectories(withoutTrailingSeparators(folder.substr(0, cut))))
        return false;

    // The book is made in a folder of its own beside the target and moved into place whole: a
    // start cut short leaves no half-made book, and of two first starts at once one book wins.
    const std::string base = folder.substr(0, cut) + std::string(BookLayout::kNewBookPrefix) + sys::localTimestamp();
    std::string staging = base;
    try {
        for (int n = 2; !sys::makeDirectory(staging); ++n) {
            if (n > 100)
                return false;
            staging = base + "-" + std::to_string(n);
        }
    } catch (const Error &) {
        return false;
    }
    try {
        const std::vector<std::string> entries = newBookEntries(staging);
        for (int i = 0; i < 2; ++i) {
            if (!sys::makeDirectory(entries[i]))
                throw Error(entries[i]);
        }
        sys::replaceFile(entries[2], {});
        sys::replaceFile(entries[3], {});
        sys::replaceFile(entries[4], defaultSettingsText());
        sys::renamePath(staging, folder);
        return true;
    } catch (const Error &) {
        removeNewBook(staging);
        return false;
    }
}

std::string applicationDirectory()
{
    const std::string exe = sys::executablePath();
    const auto separator = exe.rfind(sys::pathSeparator);
    return separator == std::string::npos ? std::string() : exe.substr(0, separator + 1);
}

std::string bookDirectory()
{
#ifdef KVILLO_USER_DATA
    std::string directory = userBookDirectory(xdgDataHome(), sys::homeDirectory());
    // When the folder cannot be made, the start goes on and reports the missing files as damage.
    createBookOnFirstStart(directory);
    return directory;
#else
    return applicationDirectory();
#endif
}

} // namespace kvillo
