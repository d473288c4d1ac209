#pragma once

#include <cstddef>
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
// Appends the bytes as UTF-8, putting `escape` before each ASCII character in `escaped`.
void appendUtf8(std::string_view bytes, std::string &out, std::string_view escaped, char escape);

// Decodes one UTF-8 sequence at `i` of `text`; returns its length, or 0 when it is malformed
// (cut short, an overlong form, a surrogate, beyond U+10FFFF).
std::size_t decodeUtf8(std::string_view text, std::size_t i, char32_t &ch);
// Whether the bytes are well-formed UTF-8 in that sense.
bool isValidUtf8(std::string_view text);

// For the program's own texts, which are all representable; anything else (a character the code
// page has none for, each byte of a malformed sequence) becomes '?'.
std::string fromUtf8(std::string_view utf8);

} // namespace kvillo::cp1251
