// The settings file: reading never fails but with the conversion error, the integer conversion
// agrees with a plain reading of its rules, and what is written reads back the same.

#include "book/line_list.h"
#include "book/scratch_buffer.h"
#include "book/settings.h"
#include "sys/errors.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Leading spaces, one sign, then decimal digits in the 32-bit range, or hexadecimal digits after
// "$", "x", "X", "0x" or "0X", at most eight of them after leading zeros, as a 32-bit pattern.
std::optional<std::int32_t> referenceInteger(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.starts_with("$") || text.starts_with("x") || text.starts_with("X")) {
        base = 16;
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    const std::string_view digits = base == 16 ? "0123456789abcdefABCDEF" : "0123456789";
    if (text.find_first_not_of(digits) != std::string_view::npos)
        return std::nullopt;
    const std::size_t firstSignificant = text.find_first_not_of('0');
    const std::string_view significant
        = firstSignificant == std::string_view::npos ? std::string_view() : text.substr(firstSignificant);
    if (significant.size() > (base == 16 ? 8u : 10u))
        return std::nullopt;
    const std::uint64_t magnitude = significant.empty() ? 0 : std::stoull(std::string(significant), nullptr, base);
    if (base == 16) {
        const auto pattern = static_cast<std::uint32_t>(magnitude);
        return static_cast<std::int32_t>(negative ? ~pattern + 1 : pattern);
    }
    const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

bool isKey(std::string_view line)
{
    return line == "FontName=" || line == "FontSize=" || line == "List1.Width=" || line == "Width="
        || line == "Height=";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char *>(data), size);

    // The input as one value line.
    std::optional<int> converted;
    try {
        converted = kvillo::toInteger(input);
    } catch (const kvillo::ConvertError &) { }
    check(converted == referenceInteger(input));

    // The input as a whole settings file.
    kvillo::ScratchBuffer memo;
    memo.setText(kvillo::normalizeLineBreaks(input));
    kvillo::Settings settings;
    try {
        kvillo::readSettings(memo, settings);
    } catch (const kvillo::ConvertError &) { }
    check(!settings.fontName || (!settings.fontName->empty() && settings.fontName->size() <= 31));

    // Values taken from the input, written and read back.
    if (size >= 20) {
        kvillo::SettingsValues values;
        int *numbers[] = {&values.fontSize, &values.list1Width, &values.width, &values.height};
        for (int i = 0; i < 4; ++i)
            *numbers[i] = static_cast<int>(static_cast<std::uint32_t>(data[4 * i]) << 24 | data[4 * i + 1] << 16
                | data[4 * i + 2] << 8 | data[4 * i + 3]);
        values.fontName = std::string(kvillo::beforeNul(input.substr(16)));
        values.fontName = values.fontName.substr(0, values.fontName.find_first_of("\r\n"));
        // A font named like a key is read as that key: the file format cannot tell them apart.
        if (isKey(values.fontName))
            return 0;
        kvillo::writeSettings(memo, values);
        kvillo::Settings back;
        kvillo::readSettings(memo, back);
        check(back.fontName
            == (values.fontName.empty()
                    ? std::nullopt
                    : std::optional<std::string>(values.fontName.substr(0, kvillo::kMaxFontNameLength))));
        check(back.fontSize == values.fontSize && back.list1Width == values.list1Width);
        check(back.width == values.width && back.height == values.height);
    }
    return 0;
}
