// generate_book DIR N [SEED]
//
// Writes an address book of N made-up but realistic entries to DIR/database/descriptions.dat and
// DIR/database/mails.dat (Windows-1251 line files, CR LF), creating DIR and DIR/database when
// needed. The same seed gives the same files byte for byte. A million entries make about 60 MB.

#include "book/book_layout.h"
#include "sys/cp1251.h"
#include "sys/system.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace {

// SplitMix64: tiny, fast and the same on every platform and standard library.
class Random
{
public:
    explicit Random(std::uint64_t seed)
        : m_state(seed)
    { }
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    template <typename T> const T &pick(const std::vector<T> &items) { return items[below(items.size())]; }

private:
    std::uint64_t m_state;
};

// A Russian word in the code page together with its Latin spelling for addresses.
struct Word
{
    std::string text;
    std::string latin;
};

std::vector<Word> words(std::initializer_list<std::pair<const char *, const char *>> list)
{
    std::vector<Word> out;
    for (const auto &[text, latin] : list)
        out.push_back({kvillo::cp1251::fromUtf8(text), latin});
    return out;
}

std::vector<std::string> texts(std::initializer_list<const char *> list)
{
    std::vector<std::string> out;
    for (const char *text : list)
        out.push_back(kvillo::cp1251::fromUtf8(text));
    return out;
}

struct Pools
{
    std::vector<Word> surnames = words({{"Иванов", "ivanov"}, {"Петров", "petrov"}, {"Смирнов", "smirnov"},
        {"Кузнецов", "kuznetsov"}, {"Соколов", "sokolov"}, {"Попов", "popov"}, {"Лебедев", "lebedev"},
        {"Козлов", "kozlov"}, {"Новиков", "novikov"}, {"Морозов", "morozov"}, {"Волков", "volkov"},
        {"Алексеев", "alekseev"}, {"Фёдоров", "fedorov"}, {"Михайлов", "mikhailov"}, {"Беляев", "belyaev"},
        {"Тарасов", "tarasov"}, {"Белов", "belov"}, {"Комаров", "komarov"}, {"Орлов", "orlov"}, {"Киселёв", "kiselev"},
        {"Макаров", "makarov"}, {"Андреев", "andreev"}, {"Ковалёв", "kovalev"}, {"Ильин", "ilyin"}, {"Гусев", "gusev"},
        {"Титов", "titov"}, {"Кузьмин", "kuzmin"}, {"Кудрявцев", "kudryavtsev"}, {"Баранов", "baranov"},
        {"Куликов", "kulikov"}, {"Щербаков", "shcherbakov"}, {"Жуков", "zhukov"}, {"Ершов", "ershov"},
        {"Шевченко", "shevchenko"}, {"Ткаченко", "tkachenko"}});
    std::vector<Word> firstNames = words({{"Пётр", "petr"}, {"Иван", "ivan"}, {"Сергей", "sergey"},
        {"Алексей", "aleksey"}, {"Дмитрий", "dmitry"}, {"Андрей", "andrey"}, {"Михаил", "mikhail"},
        {"Николай", "nikolay"}, {"Владимир", "vladimir"}, {"Юрий", "yury"}, {"Олег", "oleg"}, {"Игорь", "igor"},
        {"Евгений", "evgeny"}, {"Фёдор", "fedor"}, {"Григорий", "grigory"}, {"Константин", "konstantin"}});
    std::vector<Word> femaleNames = words({{"Анна", "anna"}, {"Мария", "maria"}, {"Елена", "elena"}, {"Ольга", "olga"},
        {"Татьяна", "tatyana"}, {"Наталья", "natalya"}, {"Ирина", "irina"}, {"Светлана", "svetlana"}, {"Юлия", "yulia"},
        {"Екатерина", "ekaterina"}, {"Ксения", "ksenia"}});
    std::vector<std::string> patronymics = texts({"Сергеевич", "Иванович", "Петрович", "Алексеевич", "Николаевич",
        "Дмитриевич", "Андреевич", "Владимирович", "Юрьевич", "Михайлович"});
    std::vector<std::string> femalePatronymics = texts({"Сергеевна", "Ивановна", "Петровна", "Алексеевна", "Николаевна",
        "Дмитриевна", "Андреевна", "Владимировна", "Юрьевна", "Михайловна"});
    std::vector<std::string> positions
        = texts({"бухгалтер", "директор", "менеджер", "инженер", "юрист", "главный бухгалтер", "секретарь",
            "программист", "заместитель директора", "снабжение", "отдел кадров", "логист", "врач", "преподаватель"});
    std::vector<Word> companies = words({{"Ромашка", "romashka"}, {"Вектор", "vektor"}, {"Горизонт", "gorizont"},
        {"Северсталь-Сервис", "sever"}, {"Альфа-Трейд", "alfatrade"}, {"Стройинвест", "stroyinvest"},
        {"Техносфера", "tekhnosfera"}, {"Уральские сети", "uralnet"}, {"Волга-Транс", "volgatrans"},
        {"Медиагрупп", "mediagroup"}, {"Сибирский хлеб", "sibkhleb"}, {"Меридиан", "meridian"}});
    std::vector<std::string> forms = texts({"ООО", "ЗАО", "ОАО", "ИП", "АО"});
    std::vector<std::string> relations = texts({"друг", "сосед", "коллега", "тётя", "брат", "однокурсник", "стоматолог",
        "парикмахер", "репетитор", "дача", "школа", "детский сад"});
    std::vector<std::string> cities = texts({"Москва", "Санкт-Петербург", "Новосибирск", "Екатеринбург", "Казань",
        "Самара", "Омск", "Ростов-на-Дону", "Уфа", "Пермь", "Воронеж", "Тверь"});
    std::vector<std::string> latinFirst{"John", "Mary", "Peter", "Anna", "Michael", "Laura", "David", "Emma", "Thomas",
        "Julia", "Hans", "Pierre", "Marco", "Sofia", "Kevin", "Linda"};
    std::vector<std::string> latinLast{"Smith", "Brown", "Miller", "Wilson", "Taylor", "Schmidt", "Dubois", "Rossi",
        "Novak", "Jensen", "Walker", "Clark", "Fischer", "Moreau", "Lopez", "Young"};
    std::vector<std::string> latinRoles{
        "sales", "support", "accounts", "CEO", "logistics", "marketing", "IT", "purchasing", "HR", "legal"};
    std::vector<std::string> latinCompanies{"Northwind Ltd", "Acme GmbH", "Blue Harbor Inc", "Globex", "Initech",
        "Polar Freight AS", "Sunrise Trading Co", "Oak & Stone LLP"};
    std::vector<std::string> mailHosts{"mail.example.ru", "example.ru", "post.example.com", "example.org",
        "inbox.example.net", "corp.example.ru", "list.example.su"};
};

void appendLine(std::string &file, const std::string &line)
{
    file += line;
    file += "\r\n";
}

// Surnames in -ов, -ев, -ин take -а for a woman; those in -ко stay as they are.
Word surnameFor(const Word &surname, bool female)
{
    if (!female || surname.latin.ends_with('o'))
        return surname;
    return {surname.text + "\xE0", surname.latin + 'a'};
}

std::string initial(const Word &word)
{
    return word.text.substr(0, 1) + '.';
}

void makeEntry(Random &random, const Pools &p, std::string &description, std::string &mail)
{
    const std::string &host = random.pick(p.mailHosts);
    const std::string number = random.below(4) == 0 ? std::to_string(random.below(100)) : std::string();
    const std::size_t kind = random.below(100);
    if (kind < 35) {
        // "Иванов Пётр Сергеевич, бухгалтер ООО «Ромашка»"
        const bool female = random.below(3) == 0;
        const Word surname = surnameFor(random.pick(p.surnames), female);
        const Word &name = random.pick(female ? p.femaleNames : p.firstNames);
        const std::string &patronymic = random.pick(female ? p.femalePatronymics : p.patronymics);
        const std::string &position = random.pick(p.positions);
        const std::string &form = random.pick(p.forms);
        const Word &company = random.pick(p.companies);
        description = surname.text + ' ' + name.text + ' ' + patronymic + ", " + position + ' ' + form + " \xAB"
            + company.text + "\xBB";
        mail = name.latin.substr(0, 1) + '.' + surname.latin + number + '@' + company.latin + ".example.ru";
    } else if (kind < 55) {
        // "Петров Алексей (сосед)", "Смирнова Ольга, Казань"
        const bool female = random.below(2) == 0;
        const Word surname = surnameFor(random.pick(p.surnames), female);
        const Word &name = random.pick(female ? p.femaleNames : p.firstNames);
        description = surname.text + ' ' + name.text;
        if (random.below(2) == 0)
            description += " (" + random.pick(p.relations) + ')';
        else
            description += ", " + random.pick(p.cities);
        mail = surname.latin + '.' + name.latin + number + '@' + host;
    } else if (kind < 70) {
        // "Кузнецов И.П."
        const Word &surname = random.pick(p.surnames);
        const Word &name = random.pick(p.firstNames);
        const Word &father = random.pick(p.firstNames);
        description = surname.text + ' ' + initial(name) + initial(father);
        mail = name.latin.substr(0, 1) + surname.latin + number + '@' + host;
    } else if (kind < 88) {
        // "John Smith (sales)"
        const std::string &first = random.pick(p.latinFirst);
        const std::string &last = random.pick(p.latinLast);
        const std::string &role = random.pick(p.latinRoles);
        description = first + ' ' + last + " (" + role + ')';
        mail = first + '.' + last + number + "@example.com";
        for (char &c : mail)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    } else if (kind < 99) {
        // "ООО «Вектор», отдел продаж" or "Acme GmbH support"
        if (random.below(2) == 0) {
            const std::string &form = random.pick(p.forms);
            const Word &company = random.pick(p.companies);
            const std::string &position = random.pick(p.positions);
            description = form + " \xAB" + company.text + "\xBB, " + position;
            mail = std::string(random.below(2) == 0 ? "info" : "office") + '@' + company.latin + ".example.ru";
        } else {
            const std::string &company = random.pick(p.latinCompanies);
            const std::string &role = random.pick(p.latinRoles);
            description = company + ", " + role;
            mail = role + "@example.net";
            for (char &c : mail)
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        }
    } else {
        // Now and then an address nobody described.
        description.clear();
        mail = "user" + std::to_string(random.below(100000)) + '@' + host;
    }
}

// Creates `path` (ending in '/') and any missing directories above it.
bool makeDirectories(const std::string &path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            std::perror(part.c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s DIR N [SEED]\n", argv[0]);
        return 2;
    }
    std::string directory = argv[1];
    if (!directory.ends_with('/'))
        directory += '/';
    const unsigned long long count = std::strtoull(argv[2], nullptr, 10);
    const unsigned long long seed = argc == 4 ? std::strtoull(argv[3], nullptr, 10) : 1;
    const kvillo::BookLayout layout(directory);
    if (!makeDirectories(layout.databaseFolder()))
        return 1;

    Random random(seed);
    const Pools pools;
    std::string descriptions;
    std::string mails;
    descriptions.reserve(count * 44);
    mails.reserve(count * 26);
    std::string description;
    std::string mail;
    for (unsigned long long i = 0; i < count; ++i) {
        makeEntry(random, pools, description, mail);
        appendLine(descriptions, description);
        appendLine(mails, mail);
    }

    try {
        kvillo::sys::replaceFile(layout.dataPath(kvillo::ListId::Descriptions), descriptions);
        kvillo::sys::replaceFile(layout.dataPath(kvillo::ListId::Mails), mails);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("%llu entries: descriptions.dat %zu bytes, mails.dat %zu bytes, %.1f MB in total\n", count,
        descriptions.size(), mails.size(), (descriptions.size() + mails.size()) / 1e6);
    return 0;
}
