// The vcard reader against its writer: see exchange_round_trip.h.

#include "exchange_round_trip.h"

#include "exchange/vcard.h"
#include "testing/crafted_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::string crafted = kvillo::crafted::softBreakCard(16000, 5000);
    return fuzz::exchangeRoundTrip(
        data, size, crafted, [](std::string_view file, const char *name) { return kvillo::vcard::read(file, name); },
        [](const kvillo::LineList &descriptions, const kvillo::LineList &mails, std::string &out) {
            kvillo::vcard::write(descriptions, mails, out);
        });
}
