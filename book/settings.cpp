#include "settings.h"

#include "scratch_buffer.h"
#include "sys/cp1251.h"
#include "sys/errors.h"

#include <cstdint>

namespace kvillo {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

int toInteger(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const auto fail = [&]() -> int { throw ConvertError(std::string(text)); };

    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return fail();

    if (hex) {
        std::uint32_t value = 0;
        int significant = 0;
        for (; i < text.size(); ++i) {
            const int digit = hexDigit(text[i]);
            if (digit < 0)
                return fail();
            if (value != 0 || digit != 0)
                ++significant;
            if (significant > 8)
                return fail();
            value = (value << 4) | static_cast<std::uint32_t>(digit);
        }
        return static_cast<int>(negative ? 0u - value : value);
    }

    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return fail();
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (value > 2147483648ull)
            return fail();
    }
    if (!negative && value > 2147483647ull)
        return fail();
    return static_cast<int>(negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value));
}

void readSettings(const ScratchBuffer &memo, Settings &settings)
{
    const std::size_t count = memo.lineCount();
    for (std::size_t i = 0; i < count; ++i) {
        const std::string key = memo.line(i);
        if (key == "FontName=") {
            std::string name = memo.line(i + 1);
            if (!name.empty()) {
                if (name.size() > kMaxFontNameLength)
                    name.resize(kMaxFontNameLength);
                settings.fontName = std::move(name);
            }
        } else if (key == "FontSize=") {
            settings.fontSize = toInteger(memo.line(i + 1));
        } else if (key == "List1.Width=") {
            settings.list1Width = toInteger(memo.line(i + 1));
        } else if (key == "Width=") {
            settings.width = toInteger(memo.line(i + 1));
        } else if (key == "Height=") {
            settings.height = toInteger(memo.line(i + 1));
        }
    }
}

void writeSettings(ScratchBuffer &memo, const SettingsValues &values)
{
    memo.clear();
    memo.addLine(cp1251::fromUtf8("[Параметры Kvillo]"));
    memo.addLine("FontName=");
    memo.addLine(values.fontName);
    memo.addLine("FontSize=");
    memo.addLine(std::to_string(values.fontSize));
    memo.addLine("List1.Width=");
    memo.addLine(std::to_string(values.list1Width));
    memo.addLine("Width=");
    memo.addLine(std::to_string(values.width));
    memo.addLine("Height=");
    memo.addLine(std::to_string(values.height));
}

} // namespace kvillo
