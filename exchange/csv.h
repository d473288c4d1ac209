#pragma once

#include "book/line_list.h"
#include "exchange.h"

#include <string>
#include <string_view>

// Comma-separated files of contacts, as address books and spreadsheets exchange them.
namespace kvillo::csv {

// The header row the writer puts first: names other address books map by themselves.
extern const char *const kHeader;

// Appends a header row and one row per entry (descriptions[i] with mails[i], Windows-1251) to
// `out`: UTF-8 without a byte order mark, every field quoted, rows ending in CR LF.
void write(const LineList &descriptions, const LineList &mails, std::string &out);

// Reads rows separated by commas or semicolons, in UTF-8 (with or without a byte order mark) or
// Windows-1251, finding the name and e-mail columns by their headers (Russian or English), or
// taking a file without a header when its first row holds an address. One entry per address.
// Throws exchange::ImportError (naming `fileName`) on the first row it cannot take whole.
exchange::Contacts read(std::string_view bytes, const std::string &fileName);

} // namespace kvillo::csv
