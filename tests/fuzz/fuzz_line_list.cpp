// The line-file reader: any file read into a list and written back gives each of its lines
// followed by CR LF, and edits of the list keep every item intact.

#include "book/line_list.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The lines of a line file, the slow and obvious way.
std::vector<std::string> referenceLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open)
        lines.push_back(line);
    return lines;
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void checkSame(const kvillo::LineList &list, const std::vector<std::string> &model)
{
    check(list.size() == model.size());
    for (std::size_t i = 0; i < model.size(); ++i)
        check(list[i] == model[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view file(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> model = referenceLines(file);
    std::string expected;
    for (const std::string &line : model)
        expected += line + "\r\n";

    kvillo::LineList list;
    list.assignText(file);
    checkSame(list, model);
    check(list.toText() == expected);

    // Edits driven by the bytes themselves, items copied from the list into itself among them.
    for (std::size_t step = 0; step < 64 && !model.empty(); ++step) {
        const auto byte = static_cast<unsigned char>(file[step % size]);
        const std::size_t i = (byte + step * 7) % model.size();
        const std::size_t j = (byte / 4 + step) % model.size();
        switch (byte % 4) {
        case 0:
            list.replace(i, list[j].substr(list[j].size() / 2));
            model[i] = model[j].substr(model[j].size() / 2);
            break;
        case 1:
            list.remove(i);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        case 2:
            list.insert(i, list[j]);
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(i), std::string(model[j]));
            break;
        default:
            list.append(list[i]);
            model.push_back(model[i]);
            break;
        }
        checkSame(list, model);
    }

    // What was written reads back as the same list.
    const std::string written = list.toText();
    kvillo::LineList again;
    again.assignText(written);
    checkSame(again, model);
    check(again.toText() == written);
    return 0;
}
