#include "print/report.h"

#include "book/address_book.h"
#include "book/scratch_buffer.h"
#include "desktop/addresses.h"
#include "sys/cp1251.h"

#include <string>

namespace kvillo {

void buildReport(ScratchBuffer &memo, const BookLists &book)
{
    memo.clear();
    memo.addLine(cp1251::fromUtf8("Напечатано программой Kvillo 2.1 (" + addresses::helpPage().toStdString() + ")"));
    memo.addLine(std::string(27, '-'));
    memo.addLine("");
    memo.addLine("");
    memo.addLine(cp1251::fromUtf8("       ОПИСАНИЯ       ------        E-MAIL"));
    memo.addLine(std::string(78, '-'));

    static constexpr std::string_view kSeparator = "   ---    ";
    const std::size_t count = book.mails.size();
    std::string line;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view description = book.descriptions.at(static_cast<long long>(i));
        const std::string_view mail = book.mails.at(static_cast<long long>(i));
        line.assign(description);
        line += kSeparator;
        line += mail;
        memo.addLine(line);
    }
    memo.addLine(std::string(79, '-'));
}

} // namespace kvillo
