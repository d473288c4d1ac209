// The csv reader against its writer: see exchange_round_trip.h.

#include "exchange_round_trip.h"

#include "exchange/csv.h"

namespace {

// Thousands of e-mail columns over thousands of rows of one address.
std::string craftedTable()
{
    std::string table = "mail";
    for (int i = 1; i < 3200; ++i)
        table += ",mail";
    table += "\n";
    for (int i = 0; i < 4000; ++i)
        table += "a@b\n";
    return table;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::string crafted = craftedTable();
    return fuzz::exchangeRoundTrip(
        data, size, crafted, [](std::string_view file, const char *name) { return kvillo::csv::read(file, name); },
        [](const kvillo::LineList &descriptions, const kvillo::LineList &mails, std::string &out) {
            kvillo::csv::write(descriptions, mails, out);
        });
}
