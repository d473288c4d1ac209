#pragma once

#include "book/address_book.h"
#include "book/line_list.h"
#include "sys/errors.h"

#include <cstddef>
#include <string>
#include <string_view>

// What the vCard and CSV readers and writers share: the contacts they carry and how a refused
// import is reported.
namespace kvillo::exchange {

// Entries in the book's own form: descriptions[i] with mails[i], Windows-1251 bytes.
struct Contacts : BookLists
{
    std::size_t size() const { return mails.size(); }
    void add(std::string_view description, std::string_view mail)
    {
        descriptions.append(description);
        mails.append(mail);
        textBytes += description.size() + mail.size();
    }
    std::size_t textBytes = 0; // of all descriptions and addresses
};

// An import refused as a whole; the message names the file, the line and the reason (Russian).
class ImportError : public Error
{
public:
    ImportError(const std::string &fileName, std::size_t line, const std::string &reason);
};

// Files larger than this are refused before they are read.
constexpr std::size_t kMaxImportBytes = std::size_t(1) << 30;

// Refuses the import (at `line` of the file) once the entries taken from a file of `fileSize`
// bytes hold more than 32 times its size in text (and a mebibyte besides). Each address repeats
// the name of its card or row: a long name over many short addresses would otherwise turn a file
// of a megabyte into gigabytes of entries.
void checkEntriesSize(const Contacts &contacts, std::size_t fileSize, const std::string &fileName, std::size_t line);

// A text that cannot be written in Windows-1251; the message says why (Russian), for the reader
// to put into its own report.
class EncodingError : public Error
{
public:
    using Error::Error;
};

// Converts UTF-8 to Windows-1251; throws EncodingError on a character the code page has none
// for, or a malformed sequence.
std::string utf8ToCp1251(std::string_view utf8);

// Why a text cannot be stored in a line file (CR, LF, NUL or TAB in it), or empty when it can.
std::string lineFileProblem(std::string_view cp1251Text);

// Room for the entries written as UTF-8 with `perEntry` more bytes each: no copy as `out` grows.
std::size_t utf8SizeEstimate(const LineList &descriptions, const LineList &mails, std::size_t perEntry);

// How many line ends (LF, CR LF or a lone CR) come before `pos`.
std::size_t lineNumberAt(std::string_view text, std::size_t pos);

// The reason texts shared by the readers.
std::string describeFieldProblem(const char *field, const std::string &problem);

} // namespace kvillo::exchange
