#include "exchange.h"

#include "sys/cp1251.h"

#include <algorithm>
#include <cstdio>

namespace kvillo::exchange {

ImportError::ImportError(const std::string &fileName, std::size_t line, const std::string &reason)
    : Error(
        "Импорт отменён, ничего не записано. Файл \"" + fileName + "\", строка " + std::to_string(line) + ": " + reason)
{ }

namespace {

// Decodes one UTF-8 sequence at `i`; returns its length, or 0 when it is malformed.
std::size_t decodeUtf8(std::string_view text, std::size_t i, char32_t &ch)
{
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        ch = c;
        return 1;
    }
    std::size_t length;
    char32_t min;
    if ((c & 0xE0) == 0xC0) {
        length = 2;
        ch = c & 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        length = 3;
        ch = c & 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        length = 4;
        ch = c & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        ch = (ch << 6) | (next & 0x3F);
    }
    if (ch < min || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

bool isValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        // Runs of ASCII are the common case: skip them eight bytes at a time.
        while (i + 8 <= text.size()) {
            unsigned long long word = 0;
            for (int k = 0; k < 8; ++k)
                word |= static_cast<unsigned long long>(static_cast<unsigned char>(text[i + k])) << (8 * k);
            if (word & 0x8080808080808080ull)
                break;
            i += 8;
        }
        if (i >= text.size())
            break;
        char32_t ch;
        const std::size_t length = decodeUtf8(text, i, ch);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

bool utf8ToCp1251(std::string_view utf8, std::string &out, std::string &reason)
{
    out.clear();
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t ch;
        const std::size_t length = decodeUtf8(utf8, i, ch);
        if (length == 0) {
            reason = "неверная последовательность UTF-8";
            return false;
        }
        const int byte = ch < 0x80 ? static_cast<int>(ch) : cp1251::fromUnicode(ch);
        if (byte < 0) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(ch));
            reason = "символ \"" + std::string(utf8.substr(i, length)) + "\" (" + code
                + ") нельзя записать в кодировке Windows-1251";
            return false;
        }
        out += static_cast<char>(byte);
        i += length;
    }
    return true;
}

std::string lineFileProblem(std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '\r':
        case '\n':
            return "перевод строки";
        case '\0':
            return "нулевой байт";
        case '\t':
            return "знак табуляции";
        default:
            break;
        }
    }
    return {};
}

namespace {

// The UTF-8 form of every Windows-1251 byte.
struct Utf8Table
{
    struct Code
    {
        char bytes[3];
        unsigned char length;
    };
    Code codes[256];
    Utf8Table()
    {
        for (int b = 0; b < 256; ++b) {
            const char32_t u = b < 0x80 ? static_cast<char32_t>(b) : cp1251::toUnicode(static_cast<unsigned char>(b));
            Code &code = codes[b];
            if (u < 0x80) {
                code = {{static_cast<char>(u)}, 1};
            } else if (u < 0x800) {
                code = {{static_cast<char>(0xC0 | (u >> 6)), static_cast<char>(0x80 | (u & 0x3F))}, 2};
            } else {
                code = {{static_cast<char>(0xE0 | (u >> 12)), static_cast<char>(0x80 | ((u >> 6) & 0x3F)),
                            static_cast<char>(0x80 | (u & 0x3F))},
                    3};
            }
        }
    }
};

const Utf8Table &utf8Table()
{
    static const Utf8Table table;
    return table;
}

} // namespace

void appendUtf8(std::string_view cp1251Text, std::string &out, std::string_view escaped, char escape)
{
    const Utf8Table &table = utf8Table();
    bool special[256] = {};
    for (const char c : escaped)
        special[static_cast<unsigned char>(c)] = true;
    const std::size_t start = out.size();
    // At most three bytes a character; each code is copied whole, hence the slack at the end.
    out.resize(start + cp1251Text.size() * 3 + 4);
    char *to = out.data() + start;
    for (const char c : cp1251Text) {
        const auto byte = static_cast<unsigned char>(c);
        if (special[byte])
            *to++ = escape;
        const Utf8Table::Code &code = table.codes[byte];
        to[0] = code.bytes[0];
        to[1] = code.bytes[1];
        to[2] = code.bytes[2];
        to += code.length;
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
}

std::size_t utf8SizeEstimate(const LineList &descriptions, const LineList &mails, std::size_t perEntry)
{
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < descriptions.size(); ++i)
        bytes += descriptions[i].size();
    for (std::size_t i = 0; i < mails.size(); ++i)
        bytes += mails[i].size();
    // Cyrillic takes two bytes in UTF-8; a little more for escapes and folds.
    return bytes * 2 + (bytes >> 4) + std::max(descriptions.size(), mails.size()) * perEntry;
}

std::size_t lineNumberAt(std::string_view text, std::size_t pos)
{
    std::size_t lines = 0;
    for (std::size_t i = 0; i < pos && i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
            ++lines;
    }
    return lines;
}

std::string describeFieldProblem(const char *field, const std::string &problem)
{
    return std::string(field) + " содержит " + problem + ", такой текст испортил бы файлы адресной книги";
}

} // namespace kvillo::exchange
