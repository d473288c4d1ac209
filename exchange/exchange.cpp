#include "exchange.h"

#include "sys/cp1251.h"

#include <algorithm>
#include <cstdio>

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

std::string utf8ToCp1251(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            out += utf8[i++];
            continue;
        }
        char32_t ch;
        const std::size_t length = cp1251::decodeUtf8(utf8, i, ch);
        if (length == 0)
            throw EncodingError("неверная последовательность UTF-8");
        const int byte = ch < 0x80 ? static_cast<int>(ch) : cp1251::fromUnicode(ch);
        if (byte < 0) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(ch));
            throw EncodingError("символ \"" + std::string(utf8.substr(i, length)) + "\" (" + code
                + ") нельзя записать в кодировке Windows-1251");
        }
        out += static_cast<char>(byte);
        i += length;
    }
    return out;
}

std::optional<std::string> lineFileProblem(std::string_view text)
{
    for (const char c : text) {
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
