#include "vcard.h"

#include "sys/cp1251.h"

#include <algorithm>
#include <vector>

namespace kvillo::vcard {

using exchange::ImportError;

namespace {

// ---- Writing ----

constexpr std::size_t kFoldOctets = 75;

// Appends "NAME:value" CR LF, folded so that no line exceeds 75 octets and no UTF-8 sequence is
// split; a continuation line starts with a space, which counts towards its 75.
void appendContentLine(std::string_view name, std::string_view cp1251Value, std::string &out, std::string &scratch)
{
    const std::size_t start = out.size();
    out += name;
    out += ':';
    cp1251::appendUtf8(cp1251Value, out, "\\,;", '\\');
    if (out.size() - start > kFoldOctets) {
        scratch.assign(out, start, std::string::npos);
        out.resize(start);
        std::size_t pos = 0;
        std::size_t room = kFoldOctets;
        while (scratch.size() - pos > room) {
            std::size_t cut = pos + room;
            while ((static_cast<unsigned char>(scratch[cut]) & 0xC0) == 0x80)
                --cut;
            out.append(scratch, pos, cut - pos);
            out += "\r\n ";
            pos = cut;
            room = kFoldOctets - 1;
        }
        out.append(scratch, pos, std::string::npos);
    }
    out += "\r\n";
}

// ---- Reading ----

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 32);
        if (x != y)
            return false;
    }
    return true;
}

bool containsIgnoringCase(std::string_view text, std::string_view part)
{
    if (part.size() > text.size())
        return false;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (equalsIgnoringCase(text.substr(i, part.size()), part))
            return true;
    }
    return false;
}

// One unfolded content line: name, parameters and value (views of the line), with the file line
// it starts on.
struct ContentLine
{
    std::size_t line = 0;
    std::string_view name;
    std::vector<std::string_view> params;
    std::string_view value;
};

// Splits "group.NAME;PARAM=x;PARAM="a:b":value"; false when there is no colon.
bool parseContentLine(std::string_view text, ContentLine &content)
{
    content.params.clear();
    bool quoted = false, named = false;
    std::string_view name;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ';' || c == ':')) {
            const std::string_view part = text.substr(start, i - start);
            if (named)
                content.params.push_back(part);
            else
                name = part;
            named = true;
            start = i + 1;
            if (c == ':') {
                const auto dot = name.rfind('.');
                if (dot != std::string_view::npos)
                    name.remove_prefix(dot + 1);
                content.name = name;
                content.value = text.substr(start);
                return true;
            }
        }
    }
    return false;
}

// The value of parameter `key` ("CHARSET=UTF-8"), or of a bare 2.1 parameter equal to `key`.
std::string_view paramValue(const ContentLine &content, std::string_view key)
{
    for (std::string_view param : content.params) {
        const auto eq = param.find('=');
        if (eq == std::string_view::npos) {
            if (equalsIgnoringCase(param, key))
                return param;
            continue;
        }
        if (equalsIgnoringCase(param.substr(0, eq), key)) {
            std::string_view value = param.substr(eq + 1);
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

bool isQuotedPrintable(const ContentLine &content)
{
    const std::string_view encoding = paramValue(content, "ENCODING");
    return equalsIgnoringCase(encoding, "QUOTED-PRINTABLE") || !paramValue(content, "QUOTED-PRINTABLE").empty();
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool decodeQuotedPrintable(std::string_view text, std::string &decoded)
{
    decoded.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            decoded += text[i];
            continue;
        }
        if (i + 1 == text.size())
            break; // a soft line break left at the very end
        if (i + 2 >= text.size())
            return false;
        const int high = hexDigit(text[i + 1]), low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0)
            return false;
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// Splits at unescaped `separator`, then resolves the escapes of each part.
std::vector<std::string> splitUnescaped(std::string_view text, char separator)
{
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            parts.back() += (next == 'n' || next == 'N') ? '\n' : next;
        } else if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

// The text with its escapes resolved (as splitUnescaped resolves them): itself when it has none,
// otherwise in `scratch`.
std::string_view unescapeText(std::string_view text, std::string &scratch)
{
    std::size_t escape = text.find('\\');
    if (escape == std::string_view::npos)
        return text;
    scratch.clear();
    std::size_t from = 0;
    for (; escape != std::string_view::npos && escape + 1 < text.size(); escape = text.find('\\', from)) {
        scratch.append(text, from, escape - from);
        const char next = text[escape + 1];
        scratch += (next == 'n' || next == 'N') ? '\n' : next;
        from = escape + 2;
    }
    scratch.append(text, from); // with a backslash that ends the text, kept as it is
    return scratch;
}

class Reader
{
public:
    Reader(std::string_view bytes, const std::string &fileName)
        : m_bytes(bytes)
        , m_fileName(fileName)
        , m_problems(fileName)
    { }

    exchange::Contacts run();

private:
    bool nextLogicalLine(std::string_view &text, std::size_t &line);
    bool nextPhysicalLine(std::string_view &text);
    void handle(ContentLine &content);
    void startCard(std::size_t line);
    void finishCard();
    void joinedComponents(
        const ContentLine &content, std::size_t count, const char *separator, const char *field, std::string &out);
    // The field's text in the code page into `out` (reusing its room); empty when it cannot be.
    void toCp1251(const ContentLine &content, std::string_view text, const char *field, std::string &out);
    // The file is refused, but read on to the end so that the refusal names every bad line.
    void fail(std::size_t line, std::string reason) { m_problems.add(line, std::move(reason)); }

    std::string_view m_bytes;
    const std::string &m_fileName;
    std::size_t m_pos = 0;
    std::size_t m_lineNumber = 0;
    bool m_pendingValid = false;
    std::string_view m_pending;
    // Room reused from line to line: a line joined from several, a value unescaped or decoded.
    std::string m_joined;
    std::string m_unescaped;
    std::string m_decoded;

    exchange::Problems m_problems;
    exchange::Contacts m_contacts;
    std::size_t m_cards = 0;
    bool m_inCard = false;
    std::size_t m_cardLine = 0;
    bool m_haveFn = false;
    std::string m_fn;
    std::string m_fromN;
    std::string m_org;
    std::size_t m_nameLine = 0;
    std::size_t m_orgLine = 0;
    struct Mail
    {
        std::string address;
        std::size_t line = 0;
    };
    // The card's addresses are the first m_mailCount; the rest keep their room for the next card.
    std::vector<Mail> m_mails;
    std::size_t m_mailCount = 0;
};

bool Reader::nextPhysicalLine(std::string_view &text)
{
    if (m_pos >= m_bytes.size())
        return false;
    std::size_t end = findLineBreak(m_bytes, m_pos);
    text = m_bytes.substr(m_pos, end - m_pos);
    if (end < m_bytes.size() && m_bytes[end] == '\r' && end + 1 < m_bytes.size() && m_bytes[end + 1] == '\n')
        ++end;
    m_pos = end + 1;
    ++m_lineNumber;
    return true;
}

// A logical line: a physical line with the lines folded onto it (those starting with a space or a
// tab), and with the soft line breaks of quoted-printable values joined.
bool Reader::nextLogicalLine(std::string_view &text, std::size_t &line)
{
    std::string_view physical;
    if (m_pendingValid) {
        physical = m_pending;
        m_pendingValid = false;
    } else if (!nextPhysicalLine(physical)) {
        return false;
    }
    line = m_lineNumber;
    text = physical;
    // A line that continues on the next ones is joined in m_joined; one that does not is used
    // where it lies.
    bool joined = false;
    const auto join = [&](std::string_view more) {
        if (!joined)
            m_joined.assign(text);
        joined = true;
        m_joined.append(more);
        text = m_joined;
    };
    // Name and parameters end at the first colon, and lines are only ever added after it: the
    // colon is looked for in the new text only, and the parameters read once, however many lines
    // are joined.
    std::size_t searched = 0;
    bool colonFound = false, quotedPrintable = false;
    for (;;) {
        std::string_view next;
        if (!nextPhysicalLine(next))
            break;
        if (!next.empty() && (next[0] == ' ' || next[0] == '\t')) {
            join(next.substr(1));
            continue;
        }
        if (!colonFound) {
            const auto colon = text.find(':', searched);
            searched = text.size();
            if (colon != std::string_view::npos) {
                colonFound = true;
                quotedPrintable = containsIgnoringCase(text.substr(0, colon), "QUOTED-PRINTABLE");
            }
        }
        if (quotedPrintable && !text.empty() && text.back() == '=') {
            join({});
            m_joined.pop_back(); // the soft line break
            join(next);
            continue;
        }
        // The line read ahead is counted already: the next call takes it with its number.
        m_pending = next;
        m_pendingValid = true;
        break;
    }
    return true;
}

void Reader::toCp1251(const ContentLine &content, std::string_view text, const char *field, std::string &out)
{
    if (isQuotedPrintable(content)) {
        if (!decodeQuotedPrintable(text, m_decoded)) {
            fail(content.line, "неверная запись quoted-printable");
            out.clear();
            return;
        }
        text = m_decoded;
    }
    const std::string_view charset = paramValue(content, "CHARSET");
    try {
        if (charset.empty()) {
            if (!exchange::cp1251FromUtf8IfValid(text, out))
                out.assign(text);
        } else if (equalsIgnoringCase(charset, "UTF-8") || equalsIgnoringCase(charset, "UTF8")) {
            exchange::utf8ToCp1251(text, out);
        } else if (equalsIgnoringCase(charset, "WINDOWS-1251") || equalsIgnoringCase(charset, "CP1251")) {
            out.assign(text);
        } else {
            fail(content.line, "кодировка " + std::string(charset) + " не поддерживается");
            out.clear();
        }
    } catch (const exchange::EncodingError &e) {
        fail(content.line, std::string(field) + ": " + e.what());
        out.clear();
    }
}

// The first `count` components of a structured value (N, ORG), joined by `separator` with the
// empty ones left out; the components of N are lists, whose items are joined alike.
void Reader::joinedComponents(
    const ContentLine &content, std::size_t count, const char *separator, const char *field, std::string &out)
{
    const bool lists = equalsIgnoringCase(content.name, "N");
    const std::vector<std::string> parts = splitUnescaped(content.value, ';');
    std::string joined;
    for (std::size_t i = 0; i < count && i < parts.size(); ++i) {
        for (const std::string &word : lists ? splitUnescaped(parts[i], ',') : std::vector<std::string>{parts[i]}) {
            if (word.empty())
                continue;
            if (!joined.empty())
                joined += separator;
            joined += word;
        }
    }
    toCp1251(content, joined, field, out);
}

void Reader::startCard(std::size_t line)
{
    m_inCard = true;
    ++m_cards;
    m_cardLine = line;
    m_haveFn = false;
    m_fn.clear();
    m_fromN.clear();
    m_org.clear();
    m_mailCount = 0;
}

void Reader::handle(ContentLine &content)
{
    const std::string_view name = content.name;
    if (equalsIgnoringCase(name, "BEGIN")) {
        if (!equalsIgnoringCase(content.value, "VCARD")) {
            fail(content.line, "неизвестный блок BEGIN:" + std::string(content.value));
            return;
        }
        if (m_inCard)
            fail(content.line,
                "новая карточка начинается до END:VCARD предыдущей (строка " + std::to_string(m_cardLine) + ")");
        startCard(content.line);
        return;
    }
    if (!m_inCard) {
        fail(content.line, "строка вне карточки (нет BEGIN:VCARD)");
        return;
    }
    if (equalsIgnoringCase(name, "END")) {
        if (!equalsIgnoringCase(content.value, "VCARD"))
            fail(content.line, "неизвестный блок END:" + std::string(content.value));
        else
            finishCard();
        return;
    }
    if (equalsIgnoringCase(name, "VERSION")) {
        if (content.value != "2.1" && content.value != "3.0" && content.value != "4.0")
            fail(content.line, "версия vCard " + std::string(content.value) + " не поддерживается");
    } else if (equalsIgnoringCase(name, "FN")) {
        if (!m_haveFn) {
            toCp1251(content, unescapeText(content.value, m_unescaped), "FN", m_fn);
            m_haveFn = true;
            m_nameLine = content.line;
        }
    } else if (equalsIgnoringCase(name, "N")) {
        if (m_fromN.empty()) {
            // Family, given and additional names, in the order a Russian book writes them.
            joinedComponents(content, 3, " ", "N", m_fromN);
            if (!m_haveFn)
                m_nameLine = content.line;
        }
    } else if (equalsIgnoringCase(name, "ORG")) {
        // The organisation and its units: "Ромашка, бухгалтерия".
        if (m_org.empty()) {
            joinedComponents(content, std::string::npos, ", ", "ORG", m_org);
            m_orgLine = content.line;
        }
    } else if (equalsIgnoringCase(name, "EMAIL")) {
        if (m_mailCount == m_mails.size())
            m_mails.emplace_back();
        Mail &mail = m_mails[m_mailCount];
        toCp1251(content, unescapeText(content.value, m_unescaped), "EMAIL", mail.address);
        mail.line = content.line;
        if (!mail.address.empty())
            ++m_mailCount;
    }
}

void Reader::finishCard()
{
    m_inCard = false;
    if (m_mailCount == 0) {
        ++m_contacts.withoutAddress;
        return;
    }
    // A card of a firm has neither FN nor N: it goes by the organisation's name.
    const bool named = (m_haveFn && !m_fn.empty()) || !m_fromN.empty();
    const std::string &description = (m_haveFn && !m_fn.empty()) ? m_fn : named ? m_fromN : m_org;
    if (const auto problem = exchange::lineFileProblem(description))
        fail(named ? m_nameLine : m_orgLine, exchange::describeFieldProblem("имя", *problem));
    for (std::size_t i = 0; i < m_mailCount; ++i) {
        const Mail &mail = m_mails[i];
        if (const auto problem = exchange::lineFileProblem(mail.address)) {
            fail(mail.line, exchange::describeFieldProblem("адрес", *problem));
            continue;
        }
        m_contacts.add(description, mail.address);
        exchange::checkEntriesSize(m_contacts, m_bytes.size(), m_fileName, mail.line);
    }
}

exchange::Contacts Reader::run()
{
    if (m_bytes.size() >= 3 && m_bytes.substr(0, 3) == "\xEF\xBB\xBF")
        m_pos = 3;
    m_contacts.reserveFor(m_bytes.size());
    std::string_view text;
    ContentLine content;
    while (nextLogicalLine(text, content.line)) {
        if (text.find_first_not_of(" \t") == std::string::npos)
            continue;
        // A binary file: what follows is no text to report on.
        if (text.find('\0') != std::string_view::npos)
            throw ImportError(m_fileName, content.line, "нулевой байт: это не текстовый файл vCard");
        if (!parseContentLine(text, content)) {
            fail(content.line, "строка без двоеточия: это не запись vCard");
            continue;
        }
        handle(content);
    }
    if (m_inCard)
        fail(m_cardLine, "карточка не закончена: нет END:VCARD");
    if (m_cards == 0 && m_problems.empty())
        fail(std::max<std::size_t>(m_lineNumber, 1), "в файле нет ни одной карточки vCard");
    m_problems.refuseIfAny();
    return std::move(m_contacts);
}

} // namespace

void write(const LineList &descriptions, const LineList &mails, std::string &out)
{
    const std::size_t count = std::max(descriptions.size(), mails.size());
    out.reserve(out.size() + exchange::utf8SizeEstimate(descriptions, mails, 48));
    std::string scratch;
    for (std::size_t i = 0; i < count; ++i) {
        out += "BEGIN:VCARD\r\nVERSION:4.0\r\n";
        appendContentLine("FN", i < descriptions.size() ? descriptions[i] : std::string_view(), out, scratch);
        if (i < mails.size() && !mails[i].empty())
            appendContentLine("EMAIL", mails[i], out, scratch);
        out += "END:VCARD\r\n";
    }
}

exchange::Contacts read(std::string_view bytes, const std::string &fileName)
{
    return Reader(bytes, fileName).run();
}

} // namespace kvillo::vcard
