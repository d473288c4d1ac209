#pragma once

// What the fuzz targets of the exchange readers check: any input is either refused with an import
// error or gives entries a line file can hold, each with an address; what the reader gives,
// written out again by the matching writer, reads back the same.

#include "exchange/exchange.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace fuzz {

inline void check(bool ok)
{
    if (!ok)
        std::abort();
}

template <typename Read, typename Write>
int exchangeRoundTrip(const std::uint8_t *data, std::size_t size, Read &&read, Write &&write)
{
    const std::string_view file(reinterpret_cast<const char *>(data), size);
    kvillo::exchange::Contacts contacts;
    try {
        contacts = read(file, "fuzz");
    } catch (const kvillo::exchange::ImportError &) {
        return 0;
    }
    check(contacts.size() > 0 && contacts.descriptions.size() == contacts.mails.size());
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        check(!contacts.mails[i].empty());
        check(kvillo::exchange::lineFileProblem(contacts.mails[i]).empty());
        check(kvillo::exchange::lineFileProblem(contacts.descriptions[i]).empty());
    }
    std::string written;
    write(contacts.descriptions, contacts.mails, written);
    const kvillo::exchange::Contacts again = read(written, "again");
    check(again.descriptions.toText() == contacts.descriptions.toText());
    check(again.mails.toText() == contacts.mails.toText());
    return 0;
}

} // namespace fuzz
