#pragma once

#include "book/address_book.h"
#include "book/line_list.h"
#include "sys/errors.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
    // Room for the entries of a file of `fileBytes`, as far as its size tells: the shortest card
    // or row with an address takes some 30 bytes, and name and address never take more than the
    // file. Memory reserved is only address space until it is written.
    void reserveFor(std::size_t fileBytes)
    {
        descriptions.reserve(fileBytes / 30 + 1, fileBytes / 2);
        mails.reserve(fileBytes / 30 + 1, fileBytes / 2);
    }
    std::size_t textBytes = 0; // of all descriptions and addresses
    // Cards or rows that hold no address: left out, and counted for the report.
    std::size_t withoutAddress = 0;
};

// What is wrong at one line of a file being imported.
struct Problem
{
    std::size_t line = 0;
    std::string reason; // Russian
};

// An import refused as a whole; the message names the file and each line with its reason
// (Russian), the first kMaxNamedProblems of them, then how many more there are.
class ImportError : public Error
{
public:
    ImportError(const std::string &fileName, std::size_t line, const std::string &reason);
    ImportError(const std::string &fileName, const std::vector<Problem> &named, std::size_t total);
};

constexpr std::size_t kMaxNamedProblems = 10;

// The problems a reader finds as it reads on past each of them, so that one refusal names them
// all rather than only the first.
class Problems
{
public:
    explicit Problems(const std::string &fileName)
        : m_fileName(fileName)
    { }

    void add(std::size_t line, std::string reason);
    bool empty() const { return m_total == 0; }
    // Throws ImportError naming the problems found, if there are any.
    void refuseIfAny() const;

private:
    const std::string &m_fileName;
    std::vector<Problem> m_named;
    std::size_t m_total = 0;
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
// for, or a malformed sequence. The second form writes into `out`, reusing its room.
std::string utf8ToCp1251(std::string_view utf8);
void utf8ToCp1251(std::string_view utf8, std::string &out);

// Converts the text as above into `out` when it is valid UTF-8 from end to end (throwing
// EncodingError on a character the code page has none for); false, with `out` undefined, when it
// is not UTF-8, so taken as Windows-1251.
bool cp1251FromUtf8IfValid(std::string_view text, std::string &out);

// What in a text keeps it out of a line file (a CR, LF, NUL or TAB), if anything does.
std::optional<std::string> lineFileProblem(std::string_view cp1251Text);

// Room for the entries written as UTF-8 with `perEntry` more bytes each: no copy as `out` grows.
std::size_t utf8SizeEstimate(const LineList &descriptions, const LineList &mails, std::size_t perEntry);

// How many line ends (LF, CR LF or a lone CR) come before `pos`.
std::size_t lineNumberAt(std::string_view text, std::size_t pos);

// The report of an import done: "Добавлено записей: 120. Пропущено без адреса: 340, уже были в
// книге: 12." The second sentence is left out when nothing was left out.
std::string importSummary(std::size_t added, std::size_t withoutAddress, std::size_t alreadyThere);

// The reason texts shared by the readers.
std::string describeFieldProblem(const char *field, const std::string &problem);

} // namespace kvillo::exchange
