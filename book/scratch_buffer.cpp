#include "scratch_buffer.h"

#include "line_list.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <algorithm>

namespace kvillo {

ScratchBuffer::ScratchBuffer()
    : m_text("Memo1")
{ }

void ScratchBuffer::setText(std::string text)
{
    if (text.size() > kCapacity)
        throw MemoCapacityError();
    m_text = std::move(text);
    m_indexed = false;
}

void ScratchBuffer::clear()
{
    m_text.clear();
    m_text.shrink_to_fit();
    m_indexed = false;
}

std::string normalizeLineBreaks(std::string_view text)
{
    text = beforeNul(text);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = findLineBreak(text, pos);
        out.append(text, pos, end - pos);
        if (end == text.size())
            break;
        out += "\r\n";
        pos = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return out;
}

void ScratchBuffer::loadFromFile(const std::string &path)
{
    // Reading one byte past the capacity is enough to know: a NUL in what was read ends the text
    // there, and without one the text is at least as long as what was read.
    std::string text = normalizeLineBreaks(sys::readFile(path, kCapacity + 1));
    setText(std::move(text));
}

void ScratchBuffer::saveToFile(const std::string &path) const
{
    sys::replaceFile(path, m_text);
}

void ScratchBuffer::addLine(std::string_view line)
{
    if (m_text.size() + line.size() + 2 > kCapacity)
        throw MemoCapacityError();
    const bool plain = line.find_first_of("\r\n") == std::string_view::npos;
    if (m_indexed && plain && (m_text.empty() || m_text.ends_with("\r\n")))
        m_lineStarts.push_back(m_text.size());
    else
        m_indexed = false;
    m_text.append(line);
    m_text += "\r\n";
}

void ScratchBuffer::indexLines() const
{
    if (m_indexed)
        return;
    m_lineStarts.clear();
    if (!m_text.empty()) {
        m_lineStarts.push_back(0);
        for (std::size_t pos = m_text.find("\r\n"); pos != std::string::npos; pos = m_text.find("\r\n", pos + 2))
            m_lineStarts.push_back(pos + 2);
        // An empty last line after a final CR LF is not a line.
        if (m_lineStarts.back() == m_text.size())
            m_lineStarts.pop_back();
    }
    m_indexed = true;
}

std::size_t ScratchBuffer::lineCount() const
{
    indexLines();
    return m_lineStarts.size();
}

std::string ScratchBuffer::line(std::size_t index) const
{
    indexLines();
    if (index >= m_lineStarts.size())
        return {};
    const std::size_t begin = m_lineStarts[index];
    std::size_t end = m_text.find("\r\n", begin);
    if (end == std::string::npos)
        end = m_text.size();
    return m_text.substr(begin, std::min(end - begin, kLineReadLimit));
}

} // namespace kvillo
