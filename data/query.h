#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kvillo {

// Finds a text inside entries the way a person searches them: letter case ignored in Latin and
// Cyrillic, and ё the same as е. All texts are Windows-1251 bytes.
class QueryMatcher
{
public:
    explicit QueryMatcher(std::string_view needle);

    // Whether `text` contains the needle; an empty needle is in every text.
    bool matches(std::string_view text) const;

    // The byte every Windows-1251 byte is compared as.
    static const unsigned char *foldTable();

private:
    std::string m_needle; // folded
    std::array<unsigned char, 256> m_shift{};
};

} // namespace kvillo
