#include "cp1251.h"

#include <array>

namespace kvillo::cp1251 {

namespace {

// Windows-1251 to UTF-16. 0x98 has no character in the code page; it maps to U+0098, as the
// system's own conversion does, so that every byte value survives a round trip.
constexpr std::array<char16_t, 256> kToUnicode = {
    0x0000,
    0x0001,
    0x0002,
    0x0003,
    0x0004,
    0x0005,
    0x0006,
    0x0007,
    0x0008,
    0x0009,
    0x000A,
    0x000B,
    0x000C,
    0x000D,
    0x000E,
    0x000F,
    0x0010,
    0x0011,
    0x0012,
    0x0013,
    0x0014,
    0x0015,
    0x0016,
    0x0017,
    0x0018,
    0x0019,
    0x001A,
    0x001B,
    0x001C,
    0x001D,
    0x001E,
    0x001F,
    0x0020,
    0x0021,
    0x0022,
    0x0023,
    0x0024,
    0x0025,
    0x0026,
    0x0027,
    0x0028,
    0x0029,
    0x002A,
    0x002B,
    0x002C,
    0x002D,
    0x002E,
    0x002F,
    0x0030,
    0x0031,
    0x0032,
    0x0033,
    0x0034,
    0x0035,
    0x0036,
    0x0037,
    0x0038,
    0x0039,
    0x003A,
    0x003B,
    0x003C,
    0x003D,
    0x003E,
    0x003F,
    0x0040,
    0x0041,
    0x0042,
    0x0043,
    0x0044,
    0x0045,
    0x0046,
    0x0047,
    0x0048,
    0x0049,
    0x004A,
    0x004B,
    0x004C,
    0x004D,
    0x004E,
    0x004F,
    0x0050,
    0x0051,
    0x0052,
    0x0053,
    0x0054,
    0x0055,
    0x0056,
    0x0057,
    0x0058,
    0x0059,
    0x005A,
    0x005B,
    0x005C,
    0x005D,
    0x005E,
    0x005F,
    0x0060,
    0x0061,
    0x0062,
    0x0063,
    0x0064,
    0x0065,
    0x0066,
    0x0067,
    0x0068,
    0x0069,
    0x006A,
    0x006B,
    0x006C,
    0x006D,
    0x006E,
    0x006F,
    0x0070,
    0x0071,
    0x0072,
    0x0073,
    0x0074,
    0x0075,
    0x0076,
    0x0077,
    0x0078,
    0x0079,
    0x007A,
    0x007B,
    0x007C,
    0x007D,
    0x007E,
    0x007F,
    0x0402,
    0x0403,
    0x201A,
    0x0453,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x20AC,
    0x2030,
    0x0409,
    0x2039,
    0x040A,
    0x040C,
    0x040B,
    0x040F,
    0x0452,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x0098,
    0x2122,
    0x0459,
    0x203A,
    0x045A,
    0x045C,
    0x045B,
    0x045F,
    0x00A0,
    0x040E,
    0x045E,
    0x0408,
    0x00A4,
    0x0490,
    0x00A6,
    0x00A7,
    0x0401,
    0x00A9,
    0x0404,
    0x00AB,
    0x00AC,
    0x00AD,
    0x00AE,
    0x0407,
    0x00B0,
    0x00B1,
    0x0406,
    0x0456,
    0x0491,
    0x00B5,
    0x00B6,
    0x00B7,
    0x0451,
    0x2116,
    0x0454,
    0x00BB,
    0x0458,
    0x0405,
    0x0455,
    0x0457,
    0x0410,
    0x0411,
    0x0412,
    0x0413,
    0x0414,
    0x0415,
    0x0416,
    0x0417,
    0x0418,
    0x0419,
    0x041A,
    0x041B,
    0x041C,
    0x041D,
    0x041E,
    0x041F,
    0x0420,
    0x0421,
    0x0422,
    0x0423,
    0x0424,
    0x0425,
    0x0426,
    0x0427,
    0x0428,
    0x0429,
    0x042A,
    0x042B,
    0x042C,
    0x042D,
    0x042E,
    0x042F,
    0x0430,
    0x0431,
    0x0432,
    0x0433,
    0x0434,
    0x0435,
    0x0436,
    0x0437,
    0x0438,
    0x0439,
    0x043A,
    0x043B,
    0x043C,
    0x043D,
    0x043E,
    0x043F,
    0x0440,
    0x0441,
    0x0442,
    0x0443,
    0x0444,
    0x0445,
    0x0446,
    0x0447,
    0x0448,
    0x0449,
    0x044A,
    0x044B,
    0x044C,
    0x044D,
    0x044E,
    0x044F,
};

struct Reverse
{
    // Cyrillic and Latin-1 blocks are looked up directly, the few punctuation marks by search.
    std::array<short, 0x500> low{};
    Reverse()
    {
        low.fill(-1);
        for (int b = 0; b < 256; ++b) {
            if (kToUnicode[b] < low.size())
                low[kToUnicode[b]] = static_cast<short>(b);
        }
    }
};

const Reverse &reverse()
{
    static const Reverse r;
    return r;
}

char32_t lowerUnicode(char32_t u)
{
    if (u >= U'A' && u <= U'Z')
        return u + 32;
    if (u >= 0x410 && u <= 0x42F)
        return u + 32;
    if (u >= 0x400 && u <= 0x40F)
        return u + 80;
    if (u == 0x490)
        return 0x491;
    return u;
}

struct Fold
{
    std::array<unsigned char, 256> table{};
    Fold()
    {
        for (int b = 0; b < 256; ++b) {
            const int lower = fromUnicode(lowerUnicode(kToUnicode[b]));
            table[b] = static_cast<unsigned char>(lower < 0 ? b : lower);
        }
    }
};

} // namespace

char16_t toUnicode(unsigned char byte)
{
    return kToUnicode[byte];
}

int fromUnicode(char32_t ch)
{
    if (ch < reverse().low.size())
        return reverse().low[ch];
    for (int b = 0x80; b < 0xC0; ++b) {
        if (kToUnicode[b] == ch)
            return b;
    }
    return -1;
}

const unsigned char *foldCaseTable()
{
    static const Fold fold;
    return fold.table.data();
}

unsigned char foldCase(unsigned char byte)
{
    return foldCaseTable()[byte];
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
            const char32_t u = kToUnicode[b];
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

void appendUtf8(std::string_view bytes, std::string &out, std::string_view escaped, char escape)
{
    const Utf8Table &table = utf8Table();
    bool special[256] = {};
    for (const char c : escaped)
        special[static_cast<unsigned char>(c)] = true;
    const std::size_t start = out.size();
    // At most three bytes a character; each code is copied whole, hence the slack at the end.
    out.resize(start + bytes.size() * 3 + 4);
    char *to = out.data() + start;
    for (const char c : bytes) {
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

std::string toUtf8(std::string_view bytes)
{
    std::string out;
    appendUtf8(bytes, out, {}, 0);
    return out;
}

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

std::string fromUtf8(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t ch = 0;
        const std::size_t length = decodeUtf8(utf8, i, ch);
        const int b = length == 0 ? -1 : fromUnicode(ch);
        out += static_cast<char>(b < 0 ? '?' : b);
        i += length == 0 ? 1 : length;
    }
    return out;
}

} // namespace kvillo::cp1251
