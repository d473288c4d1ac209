#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvillo {

class ScratchBuffer;

// What a settings file sets. A value that the file does not set stays empty.
struct Settings
{
    std::optional<std::string> fontName; // Windows-1251 bytes, at most 31
    std::optional<int> fontSize; // points
    std::optional<int> list1Width; // pixels
    std::optional<int> width; // outer window width, pixels
    std::optional<int> height; // outer window height, pixels
};

// What the program writes at close.
struct SettingsValues
{
    std::string fontName; // Windows-1251 bytes
    int fontSize = 0;
    int list1Width = 0;
    int width = 0;
    int height = 0;
};

constexpr std::size_t kMaxFontNameLength = 31;

// Reads the settings lines held by `memo` into `settings`, line by line; the last occurrence of a
// key wins. Throws ConvertError at the first value that is not an integer, with what was read
// before it already in `settings`.
void readSettings(const ScratchBuffer &memo, Settings &settings);

// Replaces the text of `memo` by the eleven lines of a settings file.
void writeSettings(ScratchBuffer &memo, const SettingsValues &values);

// Converts a decimal or hexadecimal ("$", "x", "0x") integer; throws ConvertError.
int toInteger(std::string_view text);

} // namespace kvillo
