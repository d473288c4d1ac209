#pragma once

#include "book/line_list.h"
#include "exchange.h"

#include <string>
#include <string_view>

// Comma-separated files of contacts, as address books and spreadsheets exchange them.
namespace kvillo::csv {

// The header row the writer puts first: names other address books map by themselves.
extern const char *const kHeader;

// How the fields are separated and the text marked: the standard form (RFC 4180) that programs
// read, or the form a spreadsheet opens as columns of Cyrillic text in a Russian locale.
enum class Dialect {
    Standard, // commas, UTF-8 without a byte order mark
    Spreadsheet, // semicolons, UTF-8 with a byte order mark
};

// Appends a header row and one row per entry (descriptions[i] with mails[i], Windows-1251) to
// `out`: every field quoted, rows ending in CR LF, separated and marked as `dialect` says.
void write(const LineList &descriptions, const LineList &mails, std::string &out, Dialect dialect = Dialect::Standard);

// Reads rows separated by commas or semicolons (either dialect), in UTF-8 (with or without a byte
// order mark) or Windows-1251, finding the name and e-mail columns by their headers (Russian or
// English, as mail programs and address books write them), or taking a file without a header
// when its first row holds an address. One entry per row, with the first address the row has; a
// row without one is counted and left out. The name is the full name, else the family, given and
// middle names, else the organisation. Throws exchange::ImportError (naming `fileName`) when any
// row cannot be taken whole, naming every line it cannot take.
exchange::Contacts read(std::string_view bytes, const std::string &fileName);

} // namespace kvillo::csv
