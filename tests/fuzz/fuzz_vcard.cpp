// The vcard reader against its writer: see exchange_round_trip.h.

#include "exchange_round_trip.h"

#include "exchange/vcard.h"

namespace {

// A long property name before a quoted-printable value of nothing but soft line breaks.
std::string craftedCard()
{
    std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\nX-" + std::string(16000, 'N') + ";QUOTED-PRINTABLE:=\r\n";
    for (int i = 0; i < 5000; ++i)
        card += "=\r\n";
    return card + "N\r\nEMAIL:a@example.org\r\nEND:VCARD\r\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::string crafted = craftedCard();
    return fuzz::exchangeRoundTrip(
        data, size, crafted, [](std::string_view file, const char *name) { return kvillo::vcard::read(file, name); },
        [](const kvillo::LineList &descriptions, const kvillo::LineList &mails, std::string &out) {
            kvillo::vcard::write(descriptions, mails, out);
        });
}
