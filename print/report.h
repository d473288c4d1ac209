#pragma once

namespace kvillo {

class ScratchBuffer;
struct BookLists;

// Replaces the buffer's text by the printed report of the address book, as Windows-1251 lines: a
// banner with the help page's address, the column title between hyphen lines, one line per mail
// ("description   ---    mail") and a closing hyphen line.
//
// There is one line per mail; description i is read at the same position and, when it is missing,
// ListIndexError "List index out of bounds (i)" is thrown with the report so far in the buffer.
void buildReport(ScratchBuffer &memo, const BookLists &book);

} // namespace kvillo
