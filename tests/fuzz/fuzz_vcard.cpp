// The vcard reader: any input is either refused with an import error or gives entries a line file
// can hold, each with an address; what it gives, written out again, reads back the same.

#include "data/vcard.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view file(reinterpret_cast<const char *>(data), size);
    kvillo::exchange::Contacts contacts;
    try {
        contacts = kvillo::vcard::read(file, "fuzz");
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
    kvillo::vcard::write(contacts.descriptions, contacts.mails, written);
    const kvillo::exchange::Contacts again = kvillo::vcard::read(written, "again");
    check(again.descriptions.toText() == contacts.descriptions.toText());
    check(again.mails.toText() == contacts.mails.toText());
    return 0;
}
