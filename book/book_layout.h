#pragma once

#include "sys/system.h"

#include <string>
#include <string_view>
#include <utility>

namespace kvillo {

enum class ListId { Descriptions = 0, Mails = 1 };

// How the book's folder is laid out: every folder and file name of the book, spelled here once.
//
//   <folder>/database/descriptions.dat, mails.dat   the two data files (one record split in two)
//   <folder>/database/.kvillo.lock                  who holds the book
//   <folder>/database/.kvillo-commit                the record of a save of the pair
//   <folder>/database/.kvillo-imported              the journal of imports handed over
//   <folder>/database/.kvillo-save-XXXXXX           a save's temporaries
//   <folder>/config/config.ini                      the window's settings
//
// The book that a build for installing for everyone keeps in the user's data folder keeps its
// settings in the user's configuration folder instead: $XDG_CONFIG_HOME/kvillo/config.ini.
//
// The system layer writes the lock, the commit record and the temporaries under the names it is
// built with; they are named here from there, so that each is spelled once.
class BookLayout
{
public:
    static constexpr std::string_view kDatabaseFolder = "database";
    static constexpr std::string_view kConfigFolder = "config";
    static constexpr std::string_view kDescriptionsFile = "descriptions.dat";
    static constexpr std::string_view kMailsFile = "mails.dat";
    static constexpr std::string_view kSettingsFile = "config.ini";
    static constexpr std::string_view kLockFile = sys::FolderLock::kFileName;
    static constexpr std::string_view kCommitRecord = sys::kCommitRecord;
    static constexpr std::string_view kImportJournal = ".kvillo-imported";
    // A first start makes the new book beside its place under this prefix and moves it in whole.
    static constexpr std::string_view kNewBookPrefix = ".kvillo-new-";

    // `directory` is the book's folder and ends with a path separator.
    explicit BookLayout(std::string directory)
        : m_directory(std::move(directory))
        , m_settingsFolder(settingsFolderOf(m_directory))
    { }

    const std::string &directory() const { return m_directory; }
    // The two folders, each with its trailing separator.
    std::string databaseFolder() const { return m_directory + std::string(kDatabaseFolder) + sys::pathSeparator; }
    std::string configFolder() const { return m_directory + std::string(kConfigFolder) + sys::pathSeparator; }

    static std::string_view dataFileName(ListId id) { return id == ListId::Mails ? kMailsFile : kDescriptionsFile; }
    std::string dataPath(ListId id) const { return databaseFolder() + std::string(dataFileName(id)); }
    // The folder of the settings file, with its trailing separator: configFolder(), except for
    // the book in the user's data folder (see above).
    const std::string &settingsFolder() const { return m_settingsFolder; }
    std::string settingsPath() const { return m_settingsFolder + std::string(kSettingsFile); }

private:
    // Defined with the book's folder (book_folder.cpp), which knows where the user's book is.
    static std::string settingsFolderOf(const std::string &directory);

    std::string m_directory;
    std::string m_settingsFolder;
};

} // namespace kvillo
