#include "csv.h"

#include "sys/cp1251.h"

#include <algorithm>
#include <vector>

namespace kvillo::csv {

using exchange::ImportError;

const char *const kHeader = "\"Name\",\"E-mail Address\"\r\n";

namespace {

void appendQuoted(std::string_view cp1251Text, std::string &out)
{
    out += '"';
    cp1251::appendUtf8(cp1251Text, out, "\"", '"');
    out += '"';
}

struct Record
{
    std::size_t line = 0;
    std::vector<std::string> fields;
    bool bad = false; // its quoting is broken: the problem is reported, the record not taken
};

// Splits the text into records. Malformed quoting is reported to `problems`, and the reading goes
// on at the next line.
class Parser
{
public:
    Parser(std::string_view text, std::size_t firstLine, exchange::Problems &problems)
        : m_text(text)
        , m_line(firstLine)
        , m_problems(problems)
    { }

    char detectSeparator() const
    {
        std::size_t commas = 0, semicolons = 0;
        bool quoted = false;
        for (const char c : m_text) {
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && (c == '\n' || c == '\r'))
                break;
            else if (!quoted && c == ',')
                ++commas;
            else if (!quoted && c == ';')
                ++semicolons;
        }
        return semicolons > commas ? ';' : ',';
    }

    // The next record, or false at the end of the text.
    bool next(char separator, Record &record)
    {
        if (m_pos >= m_text.size())
            return false;
        record.line = m_line;
        record.bad = false;
        record.fields.assign(1, std::string());
        for (;;) {
            if (m_pos >= m_text.size())
                return true;
            const char c = m_text[m_pos];
            if (c == '"') {
                if (!record.fields.back().empty())
                    return skipBadLine(record, "кавычка внутри поля без кавычек");
                if (!readQuoted(record.fields.back())) {
                    record.bad = true;
                    return true;
                }
                if (m_pos < m_text.size() && m_text[m_pos] != separator && m_text[m_pos] != '\r'
                    && m_text[m_pos] != '\n')
                    return skipBadLine(record, "после закрывающей кавычки ожидается разделитель или конец строки");
                continue;
            }
            ++m_pos;
            if (c == separator) {
                record.fields.emplace_back();
            } else if (c == '\r' || c == '\n') {
                if (c == '\r' && m_pos < m_text.size() && m_text[m_pos] == '\n')
                    ++m_pos;
                ++m_line;
                return true;
            } else {
                record.fields.back() += c;
            }
        }
    }

private:
    // False when the quote is never closed: the rest of the file is that one field.
    bool readQuoted(std::string &field)
    {
        const std::size_t openedAt = m_line;
        ++m_pos;
        for (;;) {
            if (m_pos >= m_text.size()) {
                m_problems.add(openedAt, "кавычка не закрыта до конца файла");
                return false;
            }
            const char c = m_text[m_pos++];
            if (c == '"') {
                if (m_pos < m_text.size() && m_text[m_pos] == '"') {
                    field += '"';
                    ++m_pos;
                    continue;
                }
                return true;
            }
            if (c == '\n' || (c == '\r' && (m_pos >= m_text.size() || m_text[m_pos] != '\n')))
                ++m_line;
            field += c;
        }
    }

    // Reports the problem and goes on after the end of the line it is on.
    bool skipBadLine(Record &record, const char *reason)
    {
        m_problems.add(m_line, reason);
        record.bad = true;
        while (m_pos < m_text.size() && m_text[m_pos] != '\r' && m_text[m_pos] != '\n')
            ++m_pos;
        if (m_pos < m_text.size()) {
            if (m_text[m_pos] == '\r' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '\n')
                ++m_pos;
            ++m_pos;
            ++m_line;
        }
        return true;
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
    std::size_t m_line;
    exchange::Problems &m_problems;
};

// A header reduced to its letters, lower case, ё as е: "E-mail 2 Address" -> "emailaddress".
std::string headerKey(const std::string &cp1251Header)
{
    const unsigned char *fold = cp1251::foldCaseTable();
    std::string key;
    for (const char c : cp1251Header) {
        auto b = fold[static_cast<unsigned char>(c)];
        if (b == 0xB8) // ё
            b = 0xE5;
        if ((b >= 'a' && b <= 'z') || b >= 0xE0)
            key += static_cast<char>(b);
    }
    return key;
}

enum class Column { Other, Mail, FullName, Given, Family, Additional, Organization };

Column classify(const std::string &key)
{
    struct Known
    {
        std::string key; // Windows-1251, as headerKey gives it
        Column column;
    };
    // Converted once: a header may have thousands of columns.
    static const std::vector<Known> known = [] {
        std::vector<Known> table;
        const auto add = [&](Column column, std::initializer_list<const char *> utf8Keys) {
            for (const char *key : utf8Keys)
                table.push_back({cp1251::fromUtf8(key), column});
        };
        // Digits and punctuation are gone from the keys: "E-mail 2 Address" is "emailaddress",
        // "E-mail 1 - Value" is "emailvalue", "Адрес 2 эл. почты" is "адресэлпочты".
        add(Column::Mail,
            {"email", "emailaddress", "emailvalue", "primaryemail", "secondemail", "secondaryemail", "mail",
                "mailaddress", "emails", "emailaddresses", "homeemail", "workemail", "otheremail", "personalemail",
                "электроннаяпочта", "адресэлектроннойпочты", "emailадрес", "адресemail", "почта", "элпочта",
                "адресэлпочты", "основнойадресэлпочты", "дополнительныйадресэлпочты", "второйадресэлпочты",
                "электронныйадрес", "адресэлектроннойпочтыосновной", "емейл", "имейл", "емайл"});
        add(Column::FullName,
            {"name", "displayname", "fullname", "фио", "полноеимя", "описание", "отображаемоеимя", "контакт",
                "имяфамилия", "фамилияимя", "фамилияимяотчество", "выводимоеимя"});
        add(Column::Given, {"firstname", "givenname", "имя"});
        add(Column::Family, {"lastname", "familyname", "surname", "фамилия"});
        add(Column::Additional, {"middlename", "additionalname", "отчество"});
        add(Column::Organization,
            {"company", "organization", "organisation", "organizationname", "companyname", "организация",
                "компания", "названиеорганизации", "организацияназвание"});
        return table;
    }();
    for (const Known &candidate : known) {
        if (candidate.key == key)
            return candidate.column;
    }
    return Column::Other;
}

struct Layout
{
    std::vector<std::size_t> mails;
    long fullName = -1;
    long given = -1, family = -1, additional = -1;
    long organization = -1;
    bool headerRow = true;
};

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
    // The field in Windows-1251; a problem (and an empty text) when it cannot be.
    std::string decoded(const std::string &field, std::size_t line, const char *what)
    {
        if (!m_utf8)
            return field;
        try {
            return exchange::utf8ToCp1251(field);
        } catch (const exchange::EncodingError &e) {
            m_problems.add(line, std::string(what) + ": " + e.what());
            return {};
        }
    }
    Layout layoutOf(const Record &first);
    void take(const Record &record);
    static std::string field(const Record &record, long index)
    {
        return index >= 0 && static_cast<std::size_t>(index) < record.fields.size() ? record.fields[index]
                                                                                    : std::string();
    }

    std::string_view m_bytes;
    const std::string &m_fileName;
    bool m_utf8 = true;
    Layout m_layout;
    exchange::Problems m_problems;
    exchange::Contacts m_contacts;
};

Layout Reader::layoutOf(const Record &first)
{
    Layout layout;
    for (std::size_t i = 0; i < first.fields.size(); ++i) {
        switch (classify(headerKey(decoded(first.fields[i], first.line, "заголовок")))) {
        case Column::Mail:
            layout.mails.push_back(i);
            break;
        case Column::FullName:
            if (layout.fullName < 0)
                layout.fullName = static_cast<long>(i);
            break;
        case Column::Given:
            if (layout.given < 0)
                layout.given = static_cast<long>(i);
            break;
        case Column::Family:
            if (layout.family < 0)
                layout.family = static_cast<long>(i);
            break;
        case Column::Additional:
            if (layout.additional < 0)
                layout.additional = static_cast<long>(i);
            break;
        case Column::Organization:
            if (layout.organization < 0)
                layout.organization = static_cast<long>(i);
            break;
        case Column::Other:
            break;
        }
    }
    if (!layout.mails.empty())
        return layout;
    // No header: a first row that holds an address is data. The address column is the first
    // field with an '@', the description the first other non-empty field.
    layout = Layout();
    layout.headerRow = false;
    for (std::size_t i = 0; i < first.fields.size(); ++i) {
        if (first.fields[i].find('@') != std::string::npos) {
            layout.mails.push_back(i);
            break;
        }
    }
    if (layout.mails.empty())
        throw ImportError(m_fileName, first.line,
            "не найден столбец с адресами электронной почты (ожидается заголовок \"E-mail\" или \"Электронная "
            "почта\")");
    for (std::size_t i = 0; i < first.fields.size(); ++i) {
        if (i != layout.mails.front() && !first.fields[i].empty()) {
            layout.fullName = static_cast<long>(i);
            break;
        }
    }
    return layout;
}

void Reader::take(const Record &record)
{
    if (record.bad
        || std::all_of(record.fields.begin(), record.fields.end(), [](const std::string &f) { return f.empty(); }))
        return;
    // The address is the first one the row has: "E-mail 2" only where "E-mail" is empty. The
    // columns go left to right: once the row has ended, so have the rest. A row costs its own
    // fields, not the header's.
    const std::string *value = nullptr;
    for (const std::size_t column : m_layout.mails) {
        if (column >= record.fields.size())
            break;
        if (!record.fields[column].empty()) {
            value = &record.fields[column];
            break;
        }
    }
    if (value == nullptr) {
        ++m_contacts.withoutAddress;
        return;
    }

    std::string description;
    if (m_layout.fullName >= 0 && !field(record, m_layout.fullName).empty()) {
        description = field(record, m_layout.fullName);
    } else {
        for (const long index : {m_layout.family, m_layout.given, m_layout.additional}) {
            const std::string part = field(record, index);
            if (part.empty())
                continue;
            if (!description.empty())
                description += ' ';
            description += part;
        }
        // A firm's row has no person's name: it goes by the organisation.
        if (description.empty())
            description = field(record, m_layout.organization);
    }
    description = decoded(description, record.line, "имя");
    if (const auto problem = exchange::lineFileProblem(description))
        m_problems.add(record.line, exchange::describeFieldProblem("имя", *problem));

    // Several addresses in one field, as some address books export them: "a@x ::: b@y".
    std::vector<std::string> addresses;
    std::size_t start = 0;
    for (;;) {
        const auto split = value->find(" ::: ", start);
        const std::string one = value->substr(start, split == std::string::npos ? std::string::npos : split - start);
        if (!one.empty())
            addresses.push_back(decoded(one, record.line, "адрес"));
        if (split == std::string::npos)
            break;
        start = split + 5;
    }
    for (const std::string &address : addresses) {
        if (const auto problem = exchange::lineFileProblem(address)) {
            m_problems.add(record.line, exchange::describeFieldProblem("адрес", *problem));
            continue;
        }
        m_contacts.add(description, address);
        exchange::checkEntriesSize(m_contacts, m_bytes.size(), m_fileName, record.line);
    }
}

exchange::Contacts Reader::run()
{
    std::string_view text = m_bytes;
    if (text.size() >= 2 && (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF"))
        throw ImportError(m_fileName, 1, "файл в кодировке UTF-16; сохраните его в UTF-8 или Windows-1251");
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
        if (!cp1251::isValidUtf8(text))
            throw ImportError(m_fileName, 1, "файл помечен как UTF-8, но содержит неверные последовательности UTF-8");
    } else {
        m_utf8 = cp1251::isValidUtf8(text);
    }
    if (const auto nul = text.find('\0'); nul != std::string_view::npos)
        throw ImportError(m_fileName, 1 + exchange::lineNumberAt(text, nul), "нулевой байт: это не текстовый файл");

    m_contacts.reserveFor(text.size());
    Parser parser(text, 1, m_problems);
    const char separator = parser.detectSeparator();
    Record record;
    if (!parser.next(separator, record))
        throw ImportError(m_fileName, 1, "файл пуст");
    m_problems.refuseIfAny(); // a header that cannot be read
    m_layout = layoutOf(record);
    if (!m_layout.headerRow)
        take(record);
    while (parser.next(separator, record))
        take(record);
    if (m_contacts.size() == 0 && m_contacts.withoutAddress == 0 && m_problems.empty())
        m_problems.add(record.line, "в файле нет ни одной записи с адресом");
    m_problems.refuseIfAny();
    return std::move(m_contacts);
}

} // namespace

void write(const LineList &descriptions, const LineList &mails, std::string &out, Dialect dialect)
{
    const char separator = dialect == Dialect::Spreadsheet ? ';' : ',';
    if (dialect == Dialect::Spreadsheet)
        out += "\xEF\xBB\xBF";
    std::string header = kHeader;
    std::replace(header.begin(), header.end(), ',', separator);
    out += header;
    const std::size_t count = std::max(descriptions.size(), mails.size());
    out.reserve(out.size() + exchange::utf8SizeEstimate(descriptions, mails, 8));
    for (std::size_t i = 0; i < count; ++i) {
        appendQuoted(i < descriptions.size() ? descriptions[i] : std::string_view(), out);
        out += separator;
        appendQuoted(i < mails.size() ? mails[i] : std::string_view(), out);
        out += "\r\n";
    }
}

exchange::Contacts read(std::string_view bytes, const std::string &fileName)
{
    return Reader(bytes, fileName).run();
}

} // namespace kvillo::csv
