#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kvillo {

// A text used as a temporary list of lines, as a multi-line edit control holds it: lines are the
// pieces between CR LF pairs.
class ScratchBuffer
{
public:
    // The most bytes the buffer holds. Larger texts fail with "Text exceeds memo capacity".
    static constexpr std::size_t kCapacity = 256u * 1024 * 1024;
    // The most characters one line read returns.
    static constexpr std::size_t kLineReadLimit = 4096;

    ScratchBuffer();

    const std::string &text() const { return m_text; }
    void setText(std::string text);
    void clear();

    // The file becomes the text, every line break turned into CR LF and the text cut at the first
    // NUL. Throws FileOpenError or MemoCapacityError; the text is unchanged then.
    void loadFromFile(const std::string &path);
    // Writes the text exactly as held, replacing the file atomically.
    void saveToFile(const std::string &path) const;

    void addLine(std::string_view line);
    // CR LF separated lines, not counting one empty line after a final CR LF.
    std::size_t lineCount() const;
    // At most the first 4,096 characters of line `index`; a line past the end reads as "".
    std::string line(std::size_t index) const;

private:
    void indexLines() const;

    std::string m_text;
    // Start offsets of the lines, built on demand for line reads.
    mutable std::vector<std::size_t> m_lineStarts;
    mutable bool m_indexed = false;
};

// Line breaks of any kind (CR LF, CR, LF; LF CR is two) become CR LF; the text ends at its first NUL.
std::string normalizeLineBreaks(std::string_view text);

} // namespace kvillo
