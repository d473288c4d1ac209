#pragma once

#include <string>
#include <string_view>

// The Windows-1251 code page of the data files. Entries are kept as the bytes read; text is
// converted only where it meets the user.
namespace kvillo::cp1251 {

char16_t toUnicode(unsigned char byte);

// The byte for a character, or -1 when the code page has none.
int fromUnicode(char32_t ch);

// The lower-case byte of a letter (Latin and Cyrillic), any other byte unchanged.
unsigned char foldCase(unsigned char byte);
// The whole table of foldCase, for loops over many bytes.
const unsigned char *foldCaseTable();

std::string toUtf8(std::string_view bytes);

// For the program's own texts, which are all representable; anything else becomes '?'.
std::string fromUtf8(std::string_view utf8);

} // namespace kvillo::cp1251
