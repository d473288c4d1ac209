#pragma once

// Files shaped to make a careless reader quadratic, in any size: the benchmark times the readers
// on them, and the fuzz targets check that reading them costs no more than linear work.

#include <cstddef>
#include <string>

namespace kvillo::crafted {

// A card with a property name of `nameLength` bytes before ";QUOTED-PRINTABLE:=", its value
// nothing but `softBreaks` soft line breaks, and then one address.
inline std::string softBreakCard(std::size_t nameLength, std::size_t softBreaks)
{
    std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\nX-" + std::string(nameLength, 'N') + ";QUOTED-PRINTABLE:=\r\n";
    for (std::size_t i = 0; i < softBreaks; ++i)
        card += "=\r\n";
    return card + "N\r\nEMAIL:a@example.org\r\nEND:VCARD\r\n"; // the value ends, the card goes on
}

// A CSV header of `columns` "email" columns over `rows` rows of one short address.
inline std::string mailColumnsTable(std::size_t columns, std::size_t rows)
{
    std::string table = "email";
    for (std::size_t i = 1; i < columns; ++i)
        table += ",email";
    table += "\r\n";
    for (std::size_t i = 0; i < rows; ++i)
        table += "a@b.ru\r\n";
    return table;
}

} // namespace kvillo::crafted
