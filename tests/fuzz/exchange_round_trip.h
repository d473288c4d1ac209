#pragma once

// What the fuzz targets of the exchange readers check: any input is either refused with an import
// error or gives entries (perhaps none) a line file can hold, each with an address; what the reader gives,
// written out again by the matching writer, reads back the same; and the reader's work grows
// with the input no faster than linearly (work_count.h).

#include "work_count.h"

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

// Any input found costs the vCard reader about 30 loads a byte at most, the CSV reader about 120
// (a header of many empty columns); the first input builds tables besides.
constexpr std::uint64_t kLoadsPerByte = 400;
constexpr std::uint64_t kFixedLoads = 200000;

// Reads the file, within the linear bound whether it is taken or refused; false when refused.
template <typename Read> bool readLinearly(std::string_view file, Read &read, kvillo::exchange::Contacts &contacts)
{
    const LinearWork work(file.size(), kLoadsPerByte, kFixedLoads);
    try {
        contacts = read(file, "fuzz");
    } catch (const kvillo::exchange::ImportError &) {
        return false;
    }
    return true;
}

// `crafted` is an input shaped to make a careless reader quadratic, large enough to show it: it
// is read once, before the first input.
template <typename Read, typename Write>
int exchangeRoundTrip(
    const std::uint8_t *data, std::size_t size, const std::string &crafted, Read &&read, Write &&write)
{
    static const bool craftedRead = [&] {
        kvillo::exchange::Contacts contacts;
        return readLinearly(crafted, read, contacts);
    }();
    check(craftedRead);

    const std::string_view file(reinterpret_cast<const char *>(data), size);
    kvillo::exchange::Contacts contacts;
    if (!readLinearly(file, read, contacts))
        return 0;
    check(contacts.descriptions.size() == contacts.mails.size());
    // A file of contacts without an address is taken and gives no entries: nothing to write back.
    if (contacts.size() == 0)
        return 0;
    for (std::size_t i = 0; i < contacts.size(); ++i) {
        check(!contacts.mails[i].empty());
        check(!kvillo::exchange::lineFileProblem(contacts.mails[i]));
        check(!kvillo::exchange::lineFileProblem(contacts.descriptions[i]));
    }
    std::string written;
    write(contacts.descriptions, contacts.mails, written);
    const kvillo::exchange::Contacts again = read(written, "again");
    check(again.descriptions.toText() == contacts.descriptions.toText());
    check(again.mails.toText() == contacts.mails.toText());
    return 0;
}

} // namespace fuzz
