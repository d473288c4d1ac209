#pragma once

#include "book/line_list.h"
#include "exchange.h"

#include <string>
#include <string_view>

// vCard files: written as version 4.0, read in versions 2.1, 3.0 and 4.0.
namespace kvillo::vcard {

// Appends one card per entry (descriptions[i] with mails[i], Windows-1251) to `out`: UTF-8,
// CR LF, lines folded at 75 octets, FN from the description (empty when it is), EMAIL from the
// address (left out when it is empty).
void write(const LineList &descriptions, const LineList &mails, std::string &out);

// One entry per EMAIL of every card, the description from FN, else from N, else from ORG; a card
// without EMAIL is counted and left out. Throws exchange::ImportError (naming `fileName`) when
// any card cannot be taken whole, naming every line it cannot take.
exchange::Contacts read(std::string_view bytes, const std::string &fileName);

} // namespace kvillo::vcard
