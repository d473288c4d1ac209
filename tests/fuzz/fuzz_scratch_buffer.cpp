// The scratch buffer: a file loaded becomes its text with every line break as CR LF, cut at the
// first NUL; the line count and the lines agree with that text, also while lines are added.

#include "book/scratch_buffer.h"
#include "sys/errors.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

std::string referenceNormalized(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The lines of a text held by the buffer: pieces between CR LF, no empty piece after a final one.
std::vector<std::string> referenceLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find("\r\n", begin);
        if (end == std::string::npos) {
            lines.push_back(text.substr(begin));
            break;
        }
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 2;
    }
    return lines;
}

void checkLines(const kvillo::ScratchBuffer &memo)
{
    const std::vector<std::string> lines = referenceLines(memo.text());
    check(memo.lineCount() == lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
        check(memo.line(i) == lines[i].substr(0, kvillo::ScratchBuffer::kLineReadLimit));
    check(memo.line(lines.size()).empty());
}

std::string scratchFile()
{
    const char *dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/kvillo-fuzz-memo-" + std::to_string(::getpid());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::string path = scratchFile();
    const std::string_view file(reinterpret_cast<const char *>(data), size);
    std::FILE *out = std::fopen(path.c_str(), "wb");
    check(out != nullptr);
    check(std::fwrite(file.data(), 1, file.size(), out) == file.size());
    check(std::fclose(out) == 0);

    kvillo::ScratchBuffer memo;
    memo.loadFromFile(path);
    std::remove(path.c_str());
    check(memo.text() == referenceNormalized(file));
    check(kvillo::normalizeLineBreaks(file) == memo.text());
    checkLines(memo);

    // Lines added after lines were read: the index kept up to date must match a fresh one.
    std::string expected = memo.text();
    for (std::size_t i = 0; i < 4 && i < size; ++i) {
        const std::string_view line = file.substr(i, static_cast<unsigned char>(file[i]) % 8);
        memo.addLine(line);
        expected.append(line).append("\r\n");
        check(memo.text() == expected);
        checkLines(memo);
    }
    return 0;
}
