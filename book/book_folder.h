#pragma once

#include <string>
#include <string_view>

namespace kvillo {

// The directory of the running executable, with its trailing separator.
std::string applicationDirectory();

// The folder that holds the address book (database/ and config/), with its trailing separator.
// Creates nothing: a command that only reads leaves the disk as it found it.
//
// The program keeps it beside its executable, as on Windows, where the book lives in the program's folder. A build
// for installing for everyone (KVILLO_USER_DATA) keeps it in the user's data folder instead
// ($XDG_DATA_HOME/kvillo, normally ~/.local/share/kvillo).
std::string bookDirectory();

// bookDirectory() for the window: the build that keeps the book in the user's data folder sets it
// up there on the first start (createBookOnFirstStart) and moves its settings file to the user's
// configuration folder (moveSettings), where they are kept since version 2.1.
std::string openBookDirectory();

// Whether the book in `directory` does not exist yet: neither data file is there. One of the two
// alone is a damaged book, not an absent one.
bool isAbsentBook(const std::string &directory);

// Makes an absent book in `directory` as a first start makes it, so that an import has a book to
// add to. A missing folder, or a missing database/ folder in it, is made whole or not at all (as
// createBookOnFirstStart makes the book's folder), with the default settings file where there is
// none. In a database/ folder that is there without either data file, the two empty files are
// written: call it then only while holding the book's lock. True when the book is there afterwards.
bool createMissingBook(const std::string &directory);

// The user's book folder: `xdgDataHome`/kvillo when that is an absolute path, otherwise
// `home`/.local/share/kvillo; with a trailing separator.
std::string userBookDirectory(std::string_view xdgDataHome, std::string_view home);

// The user's settings folder: `xdgConfigHome`/kvillo when that is an absolute path, otherwise
// `home`/.config/kvillo; with a trailing separator.
std::string userSettingsDirectory(std::string_view xdgConfigHome, std::string_view home);

// Moves the settings file that `oldFolder` holds into `newFolder` (made, private, when missing),
// where the settings of the book in the user's data folder live: once, in one step. A file that
// is there already is newer and stays; the old one then stays too. A link or another user's file
// is not moved, and a move that fails leaves the old file in place. True when it moved the file.
bool moveSettings(const std::string &oldFolder, const std::string &newFolder);

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
