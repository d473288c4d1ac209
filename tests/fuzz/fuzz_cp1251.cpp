// The code page: every byte string survives the way to UTF-8 and back, the UTF-8 produced is
// well formed, and the byte to character table is a bijection.

#include "sys/cp1251.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Decodes well-formed UTF-8 of at most three bytes a character; false for anything else.
bool wellFormed(std::string_view utf8, std::u16string &out)
{
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const int length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 0;
        if (length == 0 || i + length > utf8.size())
            return false;
        char32_t u = length == 1 ? c : length == 2 ? c & 0x1F : c & 0x0F;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            u = (u << 6) | (next & 0x3F);
        }
        if ((length == 2 && u < 0x80) || (length == 3 && u < 0x800))
            return false;
        out += static_cast<char16_t>(u);
        i += static_cast<std::size_t>(length);
    }
    return true;
}

bool tableIsBijective()
{
    for (int b = 0; b < 256; ++b) {
        if (kvillo::cp1251::fromUnicode(kvillo::cp1251::toUnicode(static_cast<unsigned char>(b))) != b)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const bool bijective = tableIsBijective();
    check(bijective);

    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const std::string utf8 = kvillo::cp1251::toUtf8(bytes);
    std::u16string characters;
    check(wellFormed(utf8, characters));
    check(characters.size() == size);
    for (std::size_t i = 0; i < size; ++i)
        check(characters[i] == kvillo::cp1251::toUnicode(data[i]));
    check(kvillo::cp1251::fromUtf8(utf8) == bytes);

    // Any text at all converts without harm, one byte for each character at most.
    check(kvillo::cp1251::fromUtf8(bytes).size() <= size);

    // Characters taken from the input: a byte found for one maps back to it.
    for (std::size_t i = 0; i + 3 <= size; i += 3) {
        const char32_t u = static_cast<char32_t>(data[i] | data[i + 1] << 8 | (data[i + 2] & 0x1F) << 16);
        const int b = kvillo::cp1251::fromUnicode(u);
        check(b == -1 || (b >= 0 && b < 256 && kvillo::cp1251::toUnicode(static_cast<unsigned char>(b)) == u));
        // Folding case is stable and keeps a byte within the table.
        const unsigned char folded = kvillo::cp1251::foldCase(data[i]);
        check(kvillo::cp1251::foldCase(folded) == folded);
    }
    return 0;
}
