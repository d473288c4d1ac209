#pragma once

#include <string>
#include <string_view>

namespace kvillo {

// The directory of the running executable, with its trailing separator.
std::string applicationDirectory();

// The folder that holds the address book (database/ and config/), with its trailing separator.
//
// The program keeps it beside its executable, like the Windows program's install folder. A build
// for installing for everyone (KVILLO_USER_DATA) keeps it in the user's data folder instead
// ($XDG_DATA_HOME/kvillo, normally ~/.local/share/kvillo) and sets it up there on the first start.
std::string bookDirectory();

// The user's book folder: `xdgDataHome`/kvillo when that is an absolute path, otherwise
// `home`/.local/share/kvillo; with a trailing separator.
std::string userBookDirectory(std::string_view xdgDataHome, std::string_view home);

// The folder, with its trailing separator, in which a recovery copy is made when the book cannot be
// saved: the book's own folder `bookDirectory` in a build for installing for everyone (the copy then
// stays with the book, in the user's data folder), else `programName` in the user's data folder
// ($XDG_DATA_HOME, normally ~/.local/share).
std::string recoveryParent(const std::string &bookDirectory, std::string_view programName);
// The same for the build given, in the environment given.
std::string recoveryParent(bool insideBook, const std::string &bookDirectory, std::string_view programName,
    std::string_view xdgDataHome, std::string_view home);

// A first start: when the folder `directory` does not exist yet, creates it (and the folders
// above it) with the two empty data files and the default settings file. The new book appears
// whole or not at all, so a start cut short never leaves a half-made one behind. Once the folder
// exists nothing is touched, so a file that went missing later is noticed as damage. True when
// this call created the book.
bool createBookOnFirstStart(const std::string &directory);

// Creates the folder and every missing folder above it, each one private to the user (where the
// system has such modes); folders that exist are left as they are. True when the folder is there.
bool makeDirectories(const std::string &path);

// The shipped default settings file: eleven Windows-1251 lines with CR LF ends.
std::string_view defaultSettingsText();

} // namespace kvillo
