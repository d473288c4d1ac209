#include "exchange.h"

#include "sys/cp1251.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace kvillo::exchange {

namespace {

const char *const kRefused = "Импорт отменён, ничего не записано. ";

std::string describeProblems(const std::string &fileName, const std::vector<Problem> &named, std::size_t total)
{
    if (total == 1 && named.size() == 1)
        return kRefused + ("Файл «" + fileName + "», строка ") + std::to_string(named[0].line) + ": " + named[0].reason;
    std::string text = kRefused + ("Ошибки в файле «" + fileName + "»:");
    for (const Problem &problem : named)
        text += "\n  строка " + std::to_string(problem.line) + ": " + problem.reason;
    if (total > named.size())
        text += "\n  и ещё " + std::to_string(total - named.size());
    return text;
}

} // namespace

ImportError::ImportError(const std::string &fileName, std::size_t line, const std::string &reason)
    : Error(describeProblems(fileName, {Problem{line, reason}}, 1))
{ }

ImportError::ImportError(const std::string &fileName, const std::vector<Problem> &named, std::size_t total)
    : Error(describeProblems(fileName, named, total))
{ }

void Problems::add(std::size_t line, std::string reason)
{
    ++m_total;
    if (m_named.size() < kMaxNamedProblems)
        m_named.push_back({line, std::move(reason)});
}

void Problems::refuseIfAny() const
{
    if (m_total != 0)
        throw ImportError(m_fileName, m_named, m_total);
}

void checkEntriesSize(const Contacts &contacts, std::size_t fileSize, const std::string &fileName, std::size_t line)
{
    if (contacts.textBytes / 32 > fileSize + (std::size_t(1) << 15))
        throw ImportError(fileName, line,
            "имя повторяется при каждом адресе, и записи заняли бы в книге в 32 с лишним раза больше места, чем "
            "файл");
}

namespace {

// Where a conversion to Windows-1251 stopped: at the end, or at a malformed sequence or a
// character the code page lacks (`ch`, `length` bytes long) at `at`.
struct Conversion
{
    enum { Done, Malformed, Unencodable } result = Done;
    std::size_t at = 0;
    std::size_t length = 0;
    char32_t ch = 0;
};

// Decodes and validates in one pass, writing straight into `out` (sized once, cut at the end).
Conversion convertUtf8(std::string_view utf8, std::string &out)
{
    out.resize(utf8.size());
    char *to = out.data();
    const char *const begin = utf8.data();
    const std::size_t size = utf8.size();
    Conversion stop;
    for (std::size_t i = 0; i < size;) {
        // Runs of ASCII are the common case: copy them eight bytes at a time.
        while (i + 8 <= size) {
            std::uint64_t word;
            std::memcpy(&word, begin + i, 8);
            if (word & 0x8080808080808080ull)
                break;
            std::memcpy(to, &word, 8);
            to += 8;
            i += 8;
        }
        if (i >= size)
            break;
        const auto lead = static_cast<unsigned char>(begin[i]);
        if (lead < 0x80) {
            *to++ = begin[i++];
            continue;
        }
        // The Russian alphabet but Ё and ё, U+0410 to U+044F, is 0xC0 to 0xFF in the code page; a
        // Russian word is a run of them.
        bool russian = false;
        while (i + 1 < size && (static_cast<unsigned char>(begin[i]) & 0xFE) == 0xD0) {
            const auto next = static_cast<unsigned char>(begin[i + 1]);
            const unsigned ch = ((static_cast<unsigned char>(begin[i]) & 0x1Fu) << 6) | (next & 0x3Fu);
            if ((next & 0xC0) != 0x80 || ch < 0x410 || ch > 0x44F)
                break;
            *to++ = static_cast<char>(ch - 0x410 + 0xC0);
            i += 2;
            russian = true;
        }
        if (russian)
            continue;
        char32_t ch;
        const std::size_t length = cp1251::decodeUtf8(utf8, i, ch);
        if (length == 0) {
            stop = {Conversion::Malformed, i, 1, 0};
            break;
        }
        const int byte = cp1251::fromUnicode(ch);
        if (byte < 0) {
            stop = {Conversion::Unencodable, i, length, ch};
            break;
        }
        *to++ = static_cast<char>(byte);
        i += length;
    }
    out.resize(static_cast<std::size_t>(to - out.data()));
    return stop;
}

[[noreturn]] void throwUnencodable(std::string_view utf8, const Conversion &stop)
{
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(stop.ch));
    throw EncodingError("символ \"" + std::string(utf8.substr(stop.at, stop.length)) + "\" (" + code
        + ") нельзя записать в кодировке Windows-1251");
}

} // namespace

std::string utf8ToCp1251(std::string_view utf8)
{
    std::string out;
    utf8ToCp1251(utf8, out);
    return out;
}

void utf8ToCp1251(std::string_view utf8, std::string &out)
{
    const Conversion stop = convertUtf8(utf8, out);
    if (stop.result == Conversion::Malformed)
        throw EncodingError("неверная последовательность UTF-8");
    if (stop.result == Conversion::Unencodable)
        throwUnencodable(utf8, stop);
}

bool cp1251FromUtf8IfValid(std::string_view text, std::string &out)
{
    const Conversion stop = convertUtf8(text, out);
    if (stop.result == Conversion::Malformed)
        return false;
    // A character the code page lacks is an error only in a text that is UTF-8 to its end.
    if (stop.result == Conversion::Unencodable) {
        if (!cp1251::isValidUtf8(text.substr(stop.at)))
            return false;
        throwUnencodable(text, stop);
    }
    return true;
}

std::optional<std::string> lineFileProblem(std::string_view text)
{
    // CR, LF, NUL and TAB all lie below 0x0E: one comparison a byte finds the candidates.
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x0E) [[likely]]
            continue;
        switch (c) {
        case '\r':
        case '\n':
            return "перевод строки";
        case '\0':
            return "нулевой байт";
        case '\t':
            return "знак табуляции";
        default:
            break;
        }
    }
    return {};
}

std::size_t utf8SizeEstimate(const LineList &descriptions, const LineList &mails, std::size_t perEntry)
{
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < descriptions.size(); ++i)
        bytes += descriptions[i].size();
    for (std::size_t i = 0; i < mails.size(); ++i)
        bytes += mails[i].size();
    // Cyrillic takes two bytes in UTF-8; a little more for escapes and folds.
    return bytes * 2 + (bytes >> 4) + std::max(descriptions.size(), mails.size()) * perEntry;
}

std::size_t lineNumberAt(std::string_view text, std::size_t pos)
{
    std::size_t lines = 0;
    for (std::size_t i = 0; i < pos && i < text.size(); ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')))
            ++lines;
    }
    return lines;
}

std::string importSummary(std::size_t added, std::size_t withoutAddress, std::size_t alreadyThere)
{
    std::string text = "Добавлено записей: " + std::to_string(added) + ".";
    if (withoutAddress != 0 || alreadyThere != 0)
        text += " Пропущено без адреса: " + std::to_string(withoutAddress)
            + ", уже были в книге: " + std::to_string(alreadyThere) + ".";
    return text;
}

std::string describeFieldProblem(const char *field, const std::string &problem)
{
    return std::string(field) + " содержит " + problem + ", такой текст испортил бы файлы адресной книги";
}

} // namespace kvillo::exchange
