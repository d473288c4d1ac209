// The csv reader against its writer: see exchange_round_trip.h.

#include "exchange_round_trip.h"

#include "exchange/csv.h"
#include "testing/crafted_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::string crafted = kvillo::crafted::mailColumnsTable(6000, 6000);
    return fuzz::exchangeRoundTrip(
        data, size, crafted, [](std::string_view file, const char *name) { return kvillo::csv::read(file, name); },
        [](const kvillo::LineList &descriptions, const kvillo::LineList &mails, std::string &out) {
            kvillo::csv::write(descriptions, mails, out);
        });
}
