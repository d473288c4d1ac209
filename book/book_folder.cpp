#include "book_folder.h"

#include "book_layout.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
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

// One folder (no contents) or file of a book being made.
struct NewEntry
{
    std::string path;
    std::optional<std::string_view> contents;
};

// What a first start puts into a new book folder, in the order it is created.
std::vector<NewEntry> newBookEntries(const std::string &folder)
{
    const BookLayout layout(folder + sys::pathSeparator);
    const auto withoutSeparator = [](std::string path) {
        path.pop_back();
        return path;
    };
    return {{withoutSeparator(layout.databaseFolder()), {}}, {withoutSeparator(layout.configFolder()), {}},
        {layout.dataPath(ListId::Mails), ""}, {layout.dataPath(ListId::Descriptions), ""},
        {layout.settingsPath(), defaultSettingsText()}};
}

// What a new database/ folder holds: the two empty data files.
std::vector<NewEntry> newDatabaseEntries(const std::string &folder)
{
    const std::string separator(1, sys::pathSeparator);
    return {{folder + separator + std::string(BookLayout::kMailsFile), ""},
        {folder + separator + std::string(BookLayout::kDescriptionsFile), ""}};
}

using Entries = std::vector<NewEntry> (*)(const std::string &folder);

void removeMade(const std::string &folder, Entries entries)
{
    std::vector<NewEntry> made = entries(folder);
    made.insert(made.begin(), {folder, {}});
    // As much as can go goes: what cannot stays behind under the prefix of a book being made.
    for (auto entry = made.rbegin(); entry != made.rend(); ++entry) {
        try {
            sys::removePath(entry->path);
        } catch (const Error &) { }
    }
}

// Makes the missing folder `folder` (no trailing separator) with `entries` in it. It is made in a
// folder of its own beside its place and moved there whole: a start cut short leaves nothing
// half-made, and of two made at once one wins. True when this call made it.
bool makeWhole(const std::string &folder, Entries entries)
{
    std::size_t cut = folder.size();
    while (cut > 0 && !isSeparator(folder[cut - 1]))
        --cut;
    if (cut == 0 || !makeDirectories(withoutTrailingSeparators(folder.substr(0, cut))))
        return false;

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
        for (const NewEntry &entry : entries(staging)) {
            if (entry.contents)
                sys::replaceFile(entry.path, *entry.contents);
            else if (!sys::makeDirectory(entry.path))
                throw Error(entry.path);
        }
        sys::renamePath(staging, folder);
        return true;
    } catch (const Error &) {
        removeMade(staging, entries);
        return false;
    }
}

} // namespace

namespace {

// `xdgHome`/`name`/ when that is absolute (the XDG rule: a relative one is ignored), otherwise
// `home`/`underHome`/`name`/.
std::string userFolder(
    std::string_view xdgHome, std::string_view home, std::string_view underHome, std::string_view name = "kvillo")
{
    const auto trimmed = [](std::string_view path) {
        while (!path.empty() && isSeparator(path.back()))
            path.remove_suffix(1);
        return std::string(path);
    };
    const char separator = sys::pathSeparator;
    std::string below(underHome);
    std::replace(below.begin(), below.end(), '/', separator);
    const std::string folder = isAbsolute(xdgHome) ? trimmed(xdgHome) : trimmed(home) + separator + below;
    return folder + separator + std::string(name) + separator;
}

[[maybe_unused]] std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

} // namespace

std::string userBookDirectory(std::string_view xdgDataHome, std::string_view home)
{
    return userFolder(xdgDataHome, home, ".local/share");
}

std::string userSettingsDirectory(std::string_view xdgConfigHome, std::string_view home)
{
    return userFolder(xdgConfigHome, home, ".config");
}

std::string recoveryParent(const std::string &bookDirectory, std::string_view programName)
{
#ifdef KVILLO_USER_DATA
    constexpr bool bookInUserData = true;
#else
    constexpr bool bookInUserData = false;
#endif
    return recoveryParent(
        bookInUserData, bookDirectory, programName, environment("XDG_DATA_HOME"), sys::homeDirectory());
}

std::string recoveryParent(bool insideBook, const std::string &bookDirectory, std::string_view programName,
    std::string_view xdgDataHome, std::string_view home)
{
    return insideBook ? bookDirectory : userFolder(xdgDataHome, home, ".local/share", programName);
}

bool moveSettings(const std::string &oldFolder, const std::string &newFolder)
{
    const std::string name(BookLayout::kSettingsFile);
    try {
        if (sys::kindOf(oldFolder + name) == sys::Kind::Missing || !makeDirectories(withoutTrailingSeparators(newFolder))
            || !sys::moveOwnFileUnlessThere(oldFolder + name, newFolder + name))
            return false;
    } catch (const Error &) {
        return false;
    }
    // The folder it leaves, when empty now, goes too.
    try {
        sys::removePath(withoutTrailingSeparators(oldFolder));
    } catch (const Error &) { }
    return true;
}

namespace {

// The settings of the book in the user's data folder go to the user's configuration folder, from
// where a first start makes them, as every other book has them, and from an earlier version.
void settleSettings([[maybe_unused]] const std::string &directory)
{
#ifdef KVILLO_USER_DATA
    if (directory == bookDirectory()) {
        moveSettings(BookLayout(directory).configFolder(),
            userSettingsDirectory(environment("XDG_CONFIG_HOME"), sys::homeDirectory()));
    }
#endif
}

} // namespace

std::string BookLayout::settingsFolderOf(const std::string &directory)
{
    const std::string folder = directory + std::string(kConfigFolder) + sys::pathSeparator;
#ifdef KVILLO_USER_DATA
    if (directory == bookDirectory()) {
        const std::string user = userSettingsDirectory(environment("XDG_CONFIG_HOME"), sys::homeDirectory());
        // Until a file of the old place could be moved, it is the settings still.
        const std::string name(kSettingsFile);
        if (sys::kindOf(user + name) != sys::Kind::Missing || sys::kindOf(folder + name) == sys::Kind::Missing)
            return user;
    }
#endif
    return folder;
}

bool createBookOnFirstStart(const std::string &directory)
{
    const std::string folder = withoutTrailingSeparators(directory);
    return sys::kindOf(folder) == sys::Kind::Missing && makeWhole(folder, newBookEntries);
}

bool isAbsentBook(const std::string &directory)
{
    const BookLayout layout(directory);
    return sys::kindOf(layout.dataPath(ListId::Mails)) == sys::Kind::Missing
        && sys::kindOf(layout.dataPath(ListId::Descriptions)) == sys::Kind::Missing;
}

bool createMissingBook(const std::string &directory)
{
    if (!isAbsentBook(directory))
        return true;
    if (createBookOnFirstStart(directory)) {
        settleSettings(directory);
        return true;
    }
    const BookLayout layout(directory);
    const std::string database = withoutTrailingSeparators(layout.databaseFolder());
    try {
        if (sys::kindOf(database) == sys::Kind::Missing) {
            makeWhole(database, newDatabaseEntries);
        } else if (isAbsentBook(directory)) {
            for (const NewEntry &entry : newDatabaseEntries(database))
                sys::replaceFile(entry.path, *entry.contents);
        }
        // The settings are not part of the pair: a first start would have written them too.
        if (sys::kindOf(layout.settingsPath()) == sys::Kind::Missing
            && makeDirectories(withoutTrailingSeparators(layout.settingsFolder())))
            sys::replaceFile(layout.settingsPath(), defaultSettingsText());
    } catch (const Error &) {
        // The import then reports what is missing.
    }
    return !isAbsentBook(directory);
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
    return userBookDirectory(environment("XDG_DATA_HOME"), sys::homeDirectory());
#else
    return applicationDirectory();
#endif
}

std::string openBookDirectory()
{
    std::string directory = bookDirectory();
#ifdef KVILLO_USER_DATA
    // When the folder cannot be made, the start goes on and reports the missing files as damage.
    createBookOnFirstStart(directory);
    settleSettings(directory);
#endif
    return directory;
}

} // namespace kvillo
