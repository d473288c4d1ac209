// Contacts in and out of the book as vCard and CSV files, and the search that mail programs use:
// round trips through real data files, the examples of the vCard standards, and every kind of bad
// input refused whole with the file, the line and the reason.

#include "data_test_util.h"

#include "book/address_store.h"
#include "exchange/csv.h"
#include "exchange/query.h"
#include "exchange/vcard.h"
#include "sys/cp1251.h"
#include "sys/system.h"

#include <QTest>

#include <functional>
#include <random>

using namespace kvillo;
using testutil::ScratchDir;

namespace {

using Reader = std::function<exchange::Contacts(std::string_view, const std::string &)>;
using Writer = std::function<void(const LineList &, const LineList &, std::string &)>;

Reader readerFor(const QString &format)
{
    if (format == QLatin1String("vcard"))
        return [](std::string_view bytes, const std::string &name) { return vcard::read(bytes, name); };
    return [](std::string_view bytes, const std::string &name) { return csv::read(bytes, name); };
}

Writer writerFor(const QString &format)
{
    if (format == QLatin1String("vcard"))
        return vcard::write;
    const csv::Dialect dialect = format == QLatin1String("csv-excel") ? csv::Dialect::Spreadsheet : csv::Dialect::Standard;
    return [dialect](const LineList &descriptions, const LineList &mails, std::string &out) {
        csv::write(descriptions, mails, out, dialect);
    };
}

std::string cp(const char *utf8)
{
    return cp1251::fromUtf8(utf8);
}

// "description <mail>" per entry, in UTF-8, for readable comparisons.
QStringList entriesOf(const exchange::Contacts &contacts)
{
    QStringList out;
    for (std::size_t i = 0; i < contacts.size(); ++i)
        out << QString::fromStdString(
            cp1251::toUtf8(contacts.descriptions[i]) + " <" + cp1251::toUtf8(contacts.mails[i]) + ">");
    return out;
}

// The entries read, or the message of the refusal.
QStringList entriesRead(const Reader &read, const QByteArray &file)
{
    try {
        return entriesOf(read(std::string_view(file.constData(), file.size()), "example"));
    } catch (const exchange::ImportError &e) {
        return {QString::fromUtf8(e.what())};
    }
}

// A file of tests/data/exchange, as another program wrote it.
QByteArray dataFile(const char *name)
{
    return QByteArray::fromStdString(testutil::readFile(std::string(KVILLO_SOURCE_DIR "/tests/data/exchange/") + name));
}

// The message of the import refused, or "<accepted>".
QString refusal(const Reader &read, std::string_view bytes, const std::string &name = "contacts")
{
    try {
        read(bytes, name);
    } catch (const exchange::ImportError &e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("<accepted>");
}

// A book with what tends to break exchange formats: separators, quotes, backslashes, long
// Cyrillic text that must fold, every byte a line file can hold, empty descriptions.
void fillAwkwardBook(LineList &descriptions, LineList &mails)
{
    const auto add = [&](const std::string &description, const std::string &mail) {
        descriptions.append(description);
        mails.append(mail);
    };
    add(cp("Иванов Пётр Сергеевич, бухгалтер ООО «Ромашка»"), "p.ivanov@romashka.example.ru");
    add("", "no.description@example.org");
    add("Smith; John \\ \"Johnny\", sales", "john.smith@example.com");
    add(std::string(200, 'x'), "long.latin@example.com");
    add(cp("Щ") + std::string(), "short@example.com");
    std::string cyrillic;
    for (int i = 0; i < 120; ++i)
        cyrillic += cp(i % 2 ? "ж" : "Ё");
    add(cyrillic, cp("адрес@пример.рф"));
    // Each width of UTF-8 sequence at each position of the fold.
    for (int shift = 0; shift < 4; ++shift)
        add(std::string(shift, 'a') + cp("€—№") + std::string(70, 'b') + cp("€—№ЯЯЯ"), "fold@example.com");
    std::string everyByte;
    for (int b = 1; b < 256; ++b) {
        if (b != '\r' && b != '\n' && b != '\t')
            everyByte += static_cast<char>(b);
    }
    add(everyByte, "bytes@example.com");
    add(" leading and trailing ", " spaced@example.com ");
    add("=?utf-8?q?not-decoded?=", "a,b;c@example.com");
}

} // namespace

class TestExchange : public QObject
{
    Q_OBJECT

private slots:
    void exportThenImportGivesTheSameFiles_data();
    void exportThenImportGivesTheSameFiles();
    void vcardLinesAreFoldedWithinOctets();
    void emptyDescriptionMakesAValidCard();
    void csvHasAHeaderOthersMap();
    void readsTheStandardsExamples_data();
    void readsTheStandardsExamples();
    void readsCsvFromOtherPrograms_data();
    void readsCsvFromOtherPrograms();
    void readsWhatPhonesAndMailProgramsWrite_data();
    void readsWhatPhonesAndMailProgramsWrite();
    void spreadsheetFormOpensAsColumns();
    void importSummaryReads_data();
    void importSummaryReads();
    void refusesBadInputWhole_data();
    void refusesBadInputWhole();
    void hugeFilesDoNotBlowMemory();
    void queryIgnoresCaseAndYo_data();
    void queryIgnoresCaseAndYo();
    void queryAgreesWithPlainSearch();
    void searchOfTheDataFilesPairsTheirLines();
    void searchOfTheListsAgreesWithEachEntry();
};

void TestExchange::exportThenImportGivesTheSameFiles_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("vcard") << "vcard";
    QTest::newRow("csv") << "csv";
    QTest::newRow("csv-excel") << "csv-excel";
}

void TestExchange::exportThenImportGivesTheSameFiles()
{
    QFETCH(QString, format);
    ScratchDir original, imported;
    testutil::makeDir(original.path("database"));
    testutil::makeDir(imported.path("database"));

    LineList descriptions, mails;
    fillAwkwardBook(descriptions, mails);
    AddressStore source(original.path());
    source.save(ListId::Mails, mails);
    source.save(ListId::Descriptions, descriptions);

    // Export what the files hold, as the command line does.
    LineList loadedDescriptions, loadedMails;
    source.load(ListId::Descriptions, loadedDescriptions);
    source.load(ListId::Mails, loadedMails);
    std::string file;
    writerFor(format)(loadedDescriptions, loadedMails, file);
    sys::replaceFile(original.path("export"), file);

    const exchange::Contacts contacts = readerFor(format)(sys::readFile(original.path("export")), "export");
    AddressStore target(imported.path());
    target.save(ListId::Mails, contacts.mails);
    target.save(ListId::Descriptions, contacts.descriptions);

    for (const char *name : {"database/descriptions.dat", "database/mails.dat"}) {
        const std::string before = testutil::readFile(original.path(name));
        const std::string after = testutil::readFile(imported.path(name));
        QCOMPARE(after.size(), before.size());
        QVERIFY2(after == before, name);
    }
}

void TestExchange::vcardLinesAreFoldedWithinOctets()
{
    LineList descriptions, mails;
    fillAwkwardBook(descriptions, mails);
    std::string file;
    vcard::write(descriptions, mails, file);
    QVERIFY(cp1251::isValidUtf8(file));
    std::size_t folds = 0;
    for (std::size_t pos = 0; pos < file.size();) {
        const std::size_t end = file.find("\r\n", pos);
        QVERIFY2(end != std::string::npos, "every line ends in CR LF");
        const std::string line = file.substr(pos, end - pos);
        QVERIFY2(line.size() <= 75, line.c_str());
        QVERIFY2(line.find_first_of("\r\n") == std::string::npos, line.c_str());
        // No line starts or ends inside a UTF-8 sequence.
        QVERIFY2(cp1251::isValidUtf8(line), line.c_str());
        folds += line.rfind(' ', 0) == 0 ? 1 : 0;
        pos = end + 2;
    }
    QVERIFY(folds >= 8);
}

void TestExchange::emptyDescriptionMakesAValidCard()
{
    LineList descriptions, mails;
    descriptions.append("");
    mails.append("only.mail@example.org");
    std::string file;
    vcard::write(descriptions, mails, file);
    QCOMPARE(QByteArray::fromStdString(file),
        QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:\r\nEMAIL:only.mail@example.org\r\nEND:VCARD\r\n"));
}

void TestExchange::csvHasAHeaderOthersMap()
{
    LineList descriptions, mails;
    descriptions.append(cp("Сидоров, \"Сид\""));
    mails.append("sid@example.ru");
    std::string file;
    csv::write(descriptions, mails, file);
    QCOMPARE(QString::fromStdString(file),
        QStringLiteral("\"Name\",\"E-mail Address\"\r\n\"Сидоров, \"\"Сид\"\"\",\"sid@example.ru\"\r\n"));
}

void TestExchange::readsTheStandardsExamples_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("entries");

    // The author's card of RFC 6350: folded lines, quoted parameters with commas, URIs.
    QTest::newRow("rfc6350 author") << QByteArray(
        "BEGIN:VCARD\r\n"
        "VERSION:4.0\r\n"
        "FN:Simon Perreault\r\n"
        "N:Perreault;Simon;;;ing. jr,M.Sc.\r\n"
        "BDAY:--0203\r\n"
        "ANNIVERSARY:20090808T1430-0500\r\n"
        "GENDER:M\r\n"
        "LANG;PREF=1:fr\r\n"
        "LANG;PREF=2:en\r\n"
        "ORG;TYPE=work:Viagenie\r\n"
        "ADR;TYPE=work:;Suite D2-630;2875 Laurier;\r\n"
        " Quebec;QC;G1V 2M2;Canada\r\n"
        "TEL;VALUE=uri;TYPE=\"work,voice\";PREF=1:tel:+1-418-656-9254;ext=102\r\n"
        "TEL;VALUE=uri;TYPE=\"work,cell,voice,video,text\":tel:+1-418-262-6501\r\n"
        "EMAIL;TYPE=work:simon.perreault@viagenie.ca\r\n"
        "GEO;TYPE=work:geo:46.772673,-71.282945\r\n"
        "KEY;TYPE=work;VALUE=uri:\r\n"
        " http://www.viagenie.ca/simon.perreault/simon.asc\r\n"
        "TZ:-0500\r\n"
        "URL;TYPE=home:http://nomis80.org\r\n"
        "END:VCARD\r\n") << QStringList{"Simon Perreault <simon.perreault@viagenie.ca>"};
    // RFC 6350's folding: a fold may fall inside a word, and a tab folds as a space does.
    QTest::newRow("rfc6350 folding") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:4.0\r\n"
        "NOTE:This is a long description\r\n  that exists on a long line.\r\n"
        "FN:Sim\r\n on Per\r\n\treault\r\n"
        "EMAIL:si\r\n mon@example.com\r\nEND:VCARD\r\n")
                                     << QStringList{"Simon Perreault <simon@example.com>"};
    // RFC 2426: two cards of version 3.0, one with two addresses, mixed-case BEGIN and END.
    QTest::newRow("rfc2426 cards") << QByteArray("BEGIN:vCard\r\n"
                                                 "VERSION:3.0\r\n"
                                                 "FN:Frank Dawson\r\n"
                                                 "ORG:Lotus Development Corporation\r\n"
                                                 "ADR;TYPE=WORK,POSTAL,PARCEL:;;6544 Battleford Drive\r\n"
                                                 " ;Raleigh;NC;27613-3502;U.S.A.\r\n"
                                                 "TEL;TYPE=VOICE,MSG,WORK:+1-919-676-9515\r\n"
                                                 "TEL;TYPE=FAX,WORK:+1-919-676-9564\r\n"
                                                 "EMAIL;TYPE=INTERNET,PREF:Frank_Dawson@Lotus.com\r\n"
                                                 "EMAIL;TYPE=INTERNET:fdawson@earthlink.net\r\n"
                                                 "URL:http://home.earthlink.net/~fdawson\r\n"
                                                 "END:vCard\r\n"
                                                 "\r\n"
                                                 "BEGIN:vCard\r\n"
                                                 "VERSION:3.0\r\n"
                                                 "FN:Tim Howes\r\n"
                                                 "ORG:Netscape Communications Corp.\r\n"
                                                 "ADR;TYPE=WORK:;;501 E. Middlefield Rd.;Mountain View;\r\n"
                                                 " CA; 94043;U.S.A.\r\n"
                                                 "TEL;TYPE=VOICE,MSG,WORK:+1-415-937-3419\r\n"
                                                 "TEL;TYPE=FAX,WORK:+1-415-528-4164\r\n"
                                                 "EMAIL;TYPE=INTERNET:howes@netscape.com\r\n"
                                                 "END:vCard\r\n")
                                   << QStringList{"Frank Dawson <Frank_Dawson@Lotus.com>",
                                          "Frank Dawson <fdawson@earthlink.net>", "Tim Howes <howes@netscape.com>"};
    // RFC 2426: escaped comma, grouped properties, several addresses with parameters.
    QTest::newRow("rfc2426 escapes and groups")
        << QByteArray("BEGIN:VCARD\n"
                      "VERSION:3.0\n"
                      "FN:Mr. John Q. Public\\, Esq.\n"
                      "N:Public;John;Quinlan;Mr.;Esq.\n"
                      "A.TEL;TYPE=HOME:+1-213-555-1234\n"
                      "A.EMAIL;TYPE=internet:jqpublic@xyz.dom1.com\n"
                      "B.EMAIL;TYPE=internet,pref:jdoe@isp.net\n"
                      "NOTE:Semicolon\\; comma\\, backslash\\\\ and a new\\nline\n"
                      "END:VCARD\n")
        << QStringList{"Mr. John Q. Public, Esq. <jqpublic@xyz.dom1.com>", "Mr. John Q. Public, Esq. <jdoe@isp.net>"};
    // Old Macintosh line ends (CR alone); a backslash that ends a value stands for itself.
    QTest::newRow("CR line ends, a backslash at the end") << QByteArray(
        "BEGIN:VCARD\rVERSION:3.0\rFN:Ends with\\\rEMAIL:b@example.org\rEND:VCARD\r")
        << QStringList{"Ends with\\ <b@example.org>"};
    QTest::newRow("escaped semicolon and backslash in FN") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Smith\\; John \\\\ sales\r\nEMAIL;PREF=1:js@example.com\r\n"
        "END:VCARD\r\n") << QStringList{"Smith; John \\ sales <js@example.com>"};
    QTest::newRow("description from N when there is no FN") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Иванов;Пётр;Сергеевич;;\r\nFN:\r\nEMAIL:p@example.ru\r\n"
        "END:VCARD\r\n") << QStringList{"Иванов Пётр Сергеевич <p@example.ru>"};
    QTest::newRow("version 2.1, quoted-printable with a soft break") << QByteArray(
        "BEGIN:VCARD\r\n"
        "VERSION:2.1\r\n"
        "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=98=D0=B2=D0=B0=D0=BD=D0=BE=D0=B2;=D0=9F=D1=91=D1=82=D1=80\r\n"
        "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=D0=9F=D1=91=D1=82=D1=80 =D0=98=D0=B2=D0=B0=\r\n"
        "=D0=BD=D0=BE=D0=B2\r\n"
        "EMAIL;PREF;INTERNET:petr@example.ru\r\n"
        "END:VCARD\r\n") << QStringList{"Пётр Иванов <petr@example.ru>"};
    QTest::newRow("version 2.1 in Windows-1251") << (QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:")
        + QByteArray::fromStdString(cp("Жанна Ёлкина")) + "\r\nEMAIL;INTERNET:zh@example.ru\r\nEND:VCARD\r\n")
                                                 << QStringList{"Жанна Ёлкина <zh@example.ru>"};
    // Without CHARSET, text is UTF-8 only if it is so to its end: a character the code page lacks
    // followed by a byte no UTF-8 has is Windows-1251 read byte for byte.
    QTest::newRow("no charset: not UTF-8 to the end") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Wang \xE7\x8E\x8B \xC0\r\nEMAIL:w@example.org\r\nEND:VCARD\r\n")
        << QStringList{"Wang зЋ‹ А <w@example.org>"};
    QTest::newRow("Cyrillic the code page has, around the alphabet") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:ЂЏАЯаяёџҐґ\r\nEMAIL:c@example.org\r\nEND:VCARD\r\n")
        << QStringList{"ЂЏАЯаяёџҐґ <c@example.org>"};
    QTest::newRow("vertical tab and form feed kept") << QByteArray(
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:a\vb\fc\r\nEMAIL:v@example.org\r\nEND:VCARD\r\n")
        << QStringList{"a\vb\fc <v@example.org>"};
    QTest::newRow("byte order mark, LF only, blank lines")
        << QByteArray("\xEF\xBB\xBF\nBEGIN:VCARD\nVERSION:4.0\nFN:Анна\n\nEMAIL:anna@example.ru\nEND:VCARD\n\n")
        << QStringList{"Анна <anna@example.ru>"};
}

void TestExchange::readsTheStandardsExamples()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, entries);
    QCOMPARE(entriesRead(readerFor("vcard"), file), entries);
}

void TestExchange::readsCsvFromOtherPrograms_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("Russian spreadsheet: semicolons, Windows-1251")
        << QByteArray::fromStdString(cp("ФИО;Электронная почта;Телефон\r\nИванов Пётр;p@example.ru;123\r\n"
                                        "\"Сидоров; Сид\";sid@example.ru;\r\n"))
        << QStringList{"Иванов Пётр <p@example.ru>", "Сидоров; Сид <sid@example.ru>"};
    // A row is one contact: the first of its address columns that is filled gives the address.
    QTest::newRow("mail program export: byte order mark, split names, two addresses")
        << QByteArray("\xEF\xBB\xBF\"First Name\",\"Last Name\",\"E-mail Address\",\"E-mail 2 Address\",\"Notes\"\r\n"
                      "Пётр,Иванов,p@example.ru,petr@home.example.ru,\"two\r\nlines\"\r\n"
                      "Анна,,anna@example.ru,,\r\n")
        << QStringList{"Иванов Пётр <p@example.ru>", "Анна <anna@example.ru>"};
    QTest::newRow("several addresses in one field, empty rows skipped")
        << QByteArray("Name,E-mail 1 - Type,E-mail 1 - Value\n\n"
                      "Jane Roe,* Work,jane@work.example ::: jane@home.example\n,,\n")
        << QStringList{"Jane Roe <jane@work.example>", "Jane Roe <jane@home.example>"};
    QTest::newRow("Russian headers with ё and case")
        << QByteArray("Фамилия,Имя,Отчество,АДРЕС ЭЛ. ПОЧТЫ\nЁлкин,Иван,Ильич,yolkin@example.ru")
        << QStringList{"Ёлкин Иван Ильич <yolkin@example.ru>"};
    QTest::newRow("no header") << QByteArray("Иван,ivan@example.ru\r\nmaria@example.ru,Мария\r\n")
                               << QStringList{"Иван <ivan@example.ru>", "maria@example.ru <Мария>"};
    // Read as UTF-8, the bytes would be the overlong forms of "k;": the file is Windows-1251.
    QTest::newRow("Windows-1251 that would be overlong UTF-8")
        << QByteArray::fromStdString(cp("Name,E-mail\nБ«А»,b@x\n")) << QStringList{"Б«А» <b@x>"};
    QTest::newRow("quoted field with a doubled quote")
        << QByteArray("Display Name;E-mail\n\"Bob \"\"The Builder\"\"\";\"bob@example.com\"\n")
        << QStringList{"Bob \"The Builder\" <bob@example.com>"};
}

void TestExchange::readsCsvFromOtherPrograms()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, entries);
    QCOMPARE(entriesRead(readerFor("csv"), file), entries);
}

// Files as phones and mail programs export them: every contact with an address is taken, the
// others are counted; a name comes from the full name, the name's parts, or the organisation.
void TestExchange::readsWhatPhonesAndMailProgramsWrite_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<int>("withoutAddress");

    QTest::newRow("Google Contacts") << "csv" << dataFile("google.csv")
                                     << QStringList{"Иванов Пётр Сергеевич <petr@example.ru>",
                                            "Смирнова Анна <anna@work.example.ru>",
                                            "ООО «Ромашка» <info@romashka.example.ru>"}
                                     << 1;
    QTest::newRow("Outlook, English") << "csv" << dataFile("outlook-en.csv")
                                      << QStringList{"Smith John <john.smith@contoso.example>",
                                             "Roe Jane Q. <jane@home.example>", "Fabrikam Inc <sales@fabrikam.example>"}
                                      << 1;
    QTest::newRow("Outlook, Russian, Windows-1251")
        << "csv" << dataFile("outlook-ru.csv")
        << QStringList{"Кузнецов Иван Петрович <kuznetsov@example.ru>", "Ёлкина Ольга <olga@example.ru>"} << 1;
    QTest::newRow("Thunderbird, English") << "csv" << dataFile("thunderbird-en.csv")
                                          << QStringList{"Maria Garcia <maria@example.org>", "Wei Li <wei@example.cn>"}
                                          << 1;
    QTest::newRow("Thunderbird, Russian")
        << "csv" << dataFile("thunderbird-ru.csv")
        << QStringList{"Света Орлова <sveta@example.ru>", "Завод «Прогресс» <info@zavod.example.ru>"} << 1;
    QTest::newRow("iPhone, vCard 3.0") << "vcard" << dataFile("iphone.vcf")
                                       << QStringList{"Мария Петрова <maria@icloud.example>",
                                              "Мария Петрова <m.petrova@example.ru>",
                                              "Рога и копыта, Бухгалтерия <buh@roga.example.ru>"}
                                       << 1;
    QTest::newRow("Android, vCard 2.1 quoted-printable")
        << "vcard" << dataFile("android.vcf")
        << QStringList{"Андрей Соколов <andrey@example.ru>", "Такси <taxi@example.ru>"} << 1;
    QTest::newRow("spreadsheet form") << "csv"
                                      << QByteArray("\xEF\xBB\xBF\"Name\";\"E-mail Address\"\r\n\"Ли; Вэй\";\"li@x\"\r\n")
                                      << QStringList{"Ли; Вэй <li@x>"} << 0;

    const QByteArray card = "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:A\r\nEMAIL:a@example.org\r\nEND:VCARD\r\n";
    QTest::newRow("vcard: card without an address")
        << "vcard" << card + "BEGIN:VCARD\r\nFN:B\r\nEMAIL:\r\nEND:VCARD\r\n" << QStringList{"A <a@example.org>"} << 1;
    QTest::newRow("vcard: only cards without an address")
        << "vcard" << QByteArray("BEGIN:VCARD\nFN:B\nEND:VCARD\nBEGIN:VCARD\nFN:C\nTEL:1\nEND:VCARD\n") << QStringList{}
        << 2;
    QTest::newRow("vcard: FN before N before ORG")
        << "vcard"
        << QByteArray("BEGIN:VCARD\nORG:O\nN:Fam;Giv\nFN:Full\nEMAIL:1@x\nEND:VCARD\n"
                      "BEGIN:VCARD\nORG:O\nN:Fam;Giv\nEMAIL:2@x\nEND:VCARD\n"
                      "BEGIN:VCARD\nORG:O\\, Ltd\nEMAIL:3@x\nEND:VCARD\nBEGIN:VCARD\nEMAIL:4@x\nEND:VCARD\n")
        << QStringList{"Full <1@x>", "Fam Giv <2@x>", "O, Ltd <3@x>", " <4@x>"} << 0;
    QTest::newRow("csv: row without an address") << "csv" << QByteArray("Name,E-mail\nA,a@x\nB,\nC,c@x\n")
                                                 << QStringList{"A <a@x>", "C <c@x>"} << 1;
    QTest::newRow("csv: first filled address column")
        << "csv" << QByteArray("Name,E-mail,E-mail 2,E-mail 3\nA,,a2@x,a3@x\nB,b@x,b2@x,\nC,,,c3@x\nD\n")
        << QStringList{"A <a2@x>", "B <b@x>", "C <c3@x>"} << 1;
    QTest::newRow("csv: organisation only without a name")
        << "csv" << QByteArray("Имя;Фамилия;Компания;E-mail\nИван;;Завод;i@x\n;;Завод;z@x\n")
        << QStringList{"Иван <i@x>", "Завод <z@x>"} << 0;
}

void TestExchange::readsWhatPhonesAndMailProgramsWrite()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, file);
    QFETCH(QStringList, entries);
    QFETCH(int, withoutAddress);
    QVERIFY(!file.isEmpty());
    try {
        const exchange::Contacts contacts = readerFor(format)(std::string_view(file.constData(), file.size()), "f");
        QCOMPARE(entriesOf(contacts), entries);
        QCOMPARE(contacts.withoutAddress, std::size_t(withoutAddress));
    } catch (const exchange::ImportError &e) {
        QFAIL(e.what());
    }
}

// Semicolons, a byte order mark and CR LF: what a spreadsheet in a Russian locale opens by a
// double click as two columns of Cyrillic text.
void TestExchange::spreadsheetFormOpensAsColumns()
{
    LineList descriptions, mails;
    descriptions.append(cp("Иванов; \"Пётр\""));
    mails.append("p@x");
    std::string out;
    csv::write(descriptions, mails, out, csv::Dialect::Spreadsheet);
    QCOMPARE(QByteArray::fromStdString(out),
        QByteArray("\xEF\xBB\xBF\"Name\";\"E-mail Address\"\r\n\"Иванов; \"\"Пётр\"\"\";\"p@x\"\r\n"));
    out.clear();
    csv::write(descriptions, mails, out);
    QCOMPARE(QByteArray::fromStdString(out),
        QByteArray("\"Name\",\"E-mail Address\"\r\n\"Иванов; \"\"Пётр\"\"\",\"p@x\"\r\n"));
}

void TestExchange::importSummaryReads_data()
{
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("withoutAddress");
    QTest::addColumn<int>("alreadyThere");
    QTest::addColumn<QString>("summary");
    QTest::newRow("all") << 120 << 340 << 12 << "Добавлено записей: 120. Пропущено без адреса: 340, уже были в книге: 12.";
    QTest::newRow("nothing left out") << 5 << 0 << 0 << "Добавлено записей: 5.";
    QTest::newRow("only without address") << 5 << 2 << 0 << "Добавлено записей: 5. Пропущено без адреса: 2, уже были в книге: 0.";
    QTest::newRow("only already there") << 0 << 0 << 7 << "Добавлено записей: 0. Пропущено без адреса: 0, уже были в книге: 7.";
    QTest::newRow("nothing at all") << 0 << 0 << 0 << "Добавлено записей: 0.";
}

void TestExchange::importSummaryReads()
{
    QFETCH(int, added);
    QFETCH(int, withoutAddress);
    QFETCH(int, alreadyThere);
    QFETCH(QString, summary);
    QCOMPARE(QString::fromStdString(exchange::importSummary(added, withoutAddress, alreadyThere)), summary);
}

void TestExchange::refusesBadInputWhole_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected"); // line and reason

    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 7919) % 256);

    const QByteArray card = "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:A\r\nEMAIL:a@example.org\r\nEND:VCARD\r\n";
    QTest::newRow("vcard: BEGIN without END") << "vcard" << card + "BEGIN:VCARD\r\nFN:B\r\nEMAIL:b@example.org\r\n"
                                              << "строка 6: карточка не закончена: нет END:VCARD";
    QTest::newRow("vcard: a card inside a card")
        << "vcard" << QByteArray("BEGIN:VCARD\r\nFN:B\r\nBEGIN:VCARD\r\nEMAIL:b@x\r\nEND:VCARD\r\n") << "строка 3";
    QTest::newRow("vcard: empty file") << "vcard" << QByteArray() << "нет ни одной карточки";
    QTest::newRow("vcard: binary file") << "vcard" << QByteArray::fromStdString(binary) << "строка 1";
    QTest::newRow("vcard: text that is no card") << "vcard" << QByteArray("Hello, world\n") << "строка 1";
    QTest::newRow("vcard: line break in the name")
        << "vcard" << QByteArray("BEGIN:VCARD\nFN:two\\nlines\nEMAIL:a@x\nEND:VCARD\n")
        << "строка 2: имя содержит перевод строки";
    QTest::newRow("vcard: tab in the address") << "vcard" << QByteArray("BEGIN:VCARD\nFN:x\n\nEMAIL:a\t@x\nEND:VCARD\n")
                                               << "строка 4: адрес содержит знак табуляции";
    QTest::newRow("vcard: quoted-printable line break")
        << "vcard" << QByteArray("BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab\nEMAIL:a@x\nEND:VCARD\n")
        << "строка 2: имя содержит перевод строки";
    QTest::newRow("vcard: NUL in a value")
        << "vcard" << QByteArray("BEGIN:VCARD\nFN:a\0b\nEND:VCARD\n", 28) << "строка 2: нулевой байт";
    QTest::newRow("vcard: character outside Windows-1251")
        << "vcard" << QByteArray("BEGIN:VCARD\nVERSION:4.0\nFN:Wang 王\nEMAIL:w@x\nEND:VCARD\n")
        << "строка 3: FN: символ \"王\" (U+738B) нельзя записать в кодировке Windows-1251";
    QTest::newRow("vcard: character outside Windows-1251 after a long ASCII run")
        << "vcard" << QByteArray("BEGIN:VCARD\nVERSION:4.0\nFN:Wang Xiaoming of the sales office 王 Ёж\nEMAIL:w@x\nEND:VCARD\n")
        << "строка 3: FN: символ \"王\" (U+738B) нельзя записать в кодировке Windows-1251";
    QTest::newRow("vcard: carriage return after a long ASCII run")
        << "vcard" << QByteArray("BEGIN:VCARD\nFN;ENCODING=QUOTED-PRINTABLE:a long enough name then=0Db\nEMAIL:a@x\nEND:VCARD\n")
        << "строка 2: имя содержит перевод строки";
    // The letters just outside the Russian alphabet that the code page lacks.
    for (const auto &[letter, code] : {std::pair{"Ѐ", "U+0400"}, std::pair{"ѐ", "U+0450"}})
        QTest::addRow("vcard: %s next to the alphabet", code)
            << "vcard" << (QByteArray("BEGIN:VCARD\nVERSION:4.0\nFN:Яя") + letter + "\nEMAIL:w@x\nEND:VCARD\n")
            << QString("строка 3: FN: символ \"%1\" (%2)").arg(QString::fromUtf8(letter), QString::fromLatin1(code));
    QTest::newRow("vcard: unknown version")
        << "vcard" << QByteArray("BEGIN:VCARD\nVERSION:5.0\nEND:VCARD\n") << "строка 2: версия vCard 5.0";
    // Overlong forms of "/" in each width, a surrogate, a code point past U+10FFFF.
    for (const char *bytes : {"\xC0\xAF", "\xE0\x80\xAF", "\xF0\x80\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
        QTest::addRow("vcard: malformed UTF-8 %s", qPrintable(QByteArray(bytes).toHex(' ')))
            << "vcard" << (QByteArray("BEGIN:VCARD\nFN;CHARSET=UTF-8:a") + bytes + "\nEMAIL:a@x\nEND:VCARD\n")
            << "строка 2: FN: неверная последовательность UTF-8";
    QTest::newRow("vcard: broken quoted-printable")
        << "vcard" << QByteArray("BEGIN:VCARD\nFN;QUOTED-PRINTABLE:=ZZ\nEMAIL:a@x\nEND:VCARD\n") << "строка 2";

    // A long name over many short addresses, each entry repeating it: a few hundred kilobytes
    // that would make hundreds of megabytes.
    QByteArray longCard = "BEGIN:VCARD\nFN:" + QByteArray(100000, 'n') + "\n",
               longRow = "\"" + QByteArray(100000, 'n') + "\",a@x";
    for (int i = 0; i < 2000; ++i) {
        longCard += "EMAIL:a@x\n";
        longRow += " ::: a@x";
    }
    QTest::newRow("vcard: a long name over many addresses") << "vcard" << longCard + "END:VCARD\n"
                                                            << "строка 51: имя повторяется при каждом адресе";
    QTest::newRow("csv: a long name over many addresses") << "csv"
                                                          << "Name,E-mail\n" + longRow + "\n"
                                                          << "строка 2: имя повторяется при каждом адресе";

    QTest::newRow("csv: unclosed quote") << "csv" << QByteArray("Name,E-mail\nA,a@x\n\"B,b@x\nC,c@x\n")
                                         << "строка 3: кавычка не закрыта";
    QTest::newRow("csv: only a header") << "csv" << QByteArray("\"Name\",\"E-mail Address\"\r\n")
                                        << "нет ни одной записи";
    QTest::newRow("csv: empty file") << "csv" << QByteArray() << "строка 1: файл пуст";
    QTest::newRow("csv: binary file") << "csv" << QByteArray::fromStdString(binary) << "нулевой байт";
    QTest::newRow("csv: no e-mail column")
        << "csv" << QByteArray("Name,Phone\nA,123\n") << "строка 1: не найден столбец";
    // Read on past each problem: the refusal names every bad line, the first ten of them.
    QByteArray manyBad = "BEGIN:VCARD\nFN:x\n";
    for (int i = 0; i < 12; ++i)
        manyBad += "no colon " + QByteArray::number(i) + "\n";
    QTest::newRow("vcard: twelve bad lines")
        << "vcard" << manyBad + "EMAIL:a@x\nEND:VCARD\n"
        << "Ошибки в файле «/tmp/in.file»:\n  строка 3: строка без двоеточия: это не запись vCard\n  строка 4: ";
    QTest::newRow("vcard: ten named, then how many more") << "vcard" << manyBad + "EMAIL:a@x\nEND:VCARD\n"
                                                         << "  строка 12: строка без двоеточия: это не запись vCard\n  и ещё 2";
    QTest::newRow("vcard: bad lines in several cards")
        << "vcard"
        << QByteArray("BEGIN:VCARD\nFN:Wang 王\nEMAIL:w@x\nEND:VCARD\nBEGIN:VCARD\nVERSION:9\nEMAIL:v@x\nEND:VCARD\n"
                      "BEGIN:VCARD\nFN:ok\nEMAIL:ok@x\n")
        << "строка 2: FN: символ \"王\" (U+738B) нельзя записать в кодировке Windows-1251\n  строка 6: версия vCard 9 "
           "не поддерживается\n  строка 9: карточка не закончена";
    QTest::newRow("csv: bad rows among good ones")
        << "csv" << QByteArray("Name,E-mail\nA\"B,a@x\nC,c@x\n\"D\"E,d@x\n\"F\tG\",f@x\nH,h@x\n")
        << ":\n  строка 2: кавычка внутри поля без кавычек\n  строка 4: после закрывающей кавычки ожидается "
           "разделитель или конец строки\n  строка 5: имя содержит знак табуляции";
    QTest::newRow("csv: line break in an address")
        << "csv" << QByteArray("Name,E-mail\nA,\"a@x\nb@x\"\n") << "строка 2: адрес содержит перевод строки";
    QTest::newRow("csv: tab in a name") << "csv" << QByteArray("Name,E-mail\n\"A\tB\",a@x\n")
                                        << "строка 2: имя содержит знак табуляции";
    QTest::newRow("csv: quote inside a plain field")
        << "csv" << QByteArray("Name,E-mail\nA\"B,a@x\n") << "строка 2: кавычка внутри поля";
    QTest::newRow("csv: text after a closing quote")
        << "csv" << QByteArray("Name,E-mail\n\"A\"B,a@x\n") << "строка 2: после закрывающей кавычки";
    QTest::newRow("csv: UTF-16") << "csv" << QByteArray("\xFF\xFEN\0a\0", 6) << "UTF-16";
    QTest::newRow("csv: byte order mark over Windows-1251")
        << "csv" << (QByteArray("\xEF\xBB\xBFName,E-mail\n") + QByteArray::fromStdString(cp("Иван,i@x\n")))
        << "строка 1: файл помечен как UTF-8";
    QTest::newRow("csv: byte order mark over overlong UTF-8")
        << "csv" << QByteArray("\xEF\xBB\xBFName,E-mail\nA,a\xE0\x80\xAF@x\n") << "строка 1: файл помечен как UTF-8";
    QTest::newRow("csv: character outside Windows-1251")
        << "csv" << QByteArray("Name,E-mail\nA,a@x\n\"\xF0\x9F\x98\x80\",b@x\n") << "строка 3: имя: символ";
}

void TestExchange::refusesBadInputWhole()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    const QString message = refusal(readerFor(format), std::string_view(file.constData(), file.size()), "/tmp/in.file");
    QVERIFY2(message.startsWith(QStringLiteral("Импорт отменён, ничего не записано. Файл «/tmp/in.file», "))
            || message.startsWith(QStringLiteral("Импорт отменён, ничего не записано. Ошибки в файле «/tmp/in.file»:")),
        qPrintable(message));
    QVERIFY2(message.contains(expected), qPrintable(message));
}

// A 100 MB file of cards is read in one piece and parsed into the book's compact lists; a 100 MB
// file with no line break is refused at its first line. Neither needs memory far beyond the file.
void TestExchange::hugeFilesDoNotBlowMemory()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the sanitizer's own bookkeeping makes the memory figure meaningless");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    QSKIP("the sanitizer's own bookkeeping makes the memory figure meaningless");
#endif
#endif
    ScratchDir dir;
    const std::string path = dir.path("huge.vcf");
    {
        std::string chunk;
        std::size_t cards = 0;
        while (chunk.size() < (1u << 20)) {
            chunk += "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:" + cp1251::toUtf8(cp("Кузнецов Фёдор ")) + std::to_string(cards)
                + "\r\nEMAIL:fedor" + std::to_string(cards) + "@example.ru\r\nEND:VCARD\r\n";
            ++cards;
        }
        std::FILE *file = std::fopen(path.c_str(), "wb");
        QVERIFY(file != nullptr);
        for (int i = 0; i < 100; ++i)
            QCOMPARE(std::fwrite(chunk.data(), 1, chunk.size(), file), chunk.size());
        QCOMPARE(std::fclose(file), 0);
    }
    const exchange::Contacts contacts = vcard::read(sys::readFile(path), path);
    QVERIFY(contacts.size() > 700000);
    QCOMPARE(contacts.descriptions.size(), contacts.mails.size());
    QCOMPARE(QString::fromStdString(cp1251::toUtf8(contacts.descriptions[0])), QStringLiteral("Кузнецов Фёдор 0"));
#ifdef __linux__
    // The peak of the whole process, with the file and its lists in memory at once.
    const QByteArray status = QByteArray::fromStdString(testutil::readFile("/proc/self/status"));
    const qsizetype at = status.indexOf("VmHWM:");
    QVERIFY(at >= 0);
    const long peakKb = status.mid(at + 6, status.indexOf('\n', at) - at - 6).trimmed().split(' ').front().toLong();
    // The file and the lists it gives (about 180 MB here), not several copies of the file.
    QVERIFY2(peakKb < 300 * 1024, qPrintable(QStringLiteral("peak %1 kB").arg(peakKb)));
#endif

    const std::string oneLine(100u << 20, 'A');
    QVERIFY(refusal(readerFor("vcard"), oneLine).contains("строка 1: строка без двоеточия"));
    QVERIFY(refusal(readerFor("csv"), oneLine).contains("строка 1: не найден столбец"));
}

void TestExchange::queryIgnoresCaseAndYo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("query");
    QTest::addColumn<bool>("found");
    QTest::newRow("Cyrillic case") << "Иванов Пётр"
                                   << "иВАН" << true;
    QTest::newRow("ё in the entry, е in the query") << "Фёдоров"
                                                    << "федор" << true;
    QTest::newRow("Ё in the query, е in the entry") << "Федоров"
                                                    << "ФЁД" << true;
    QTest::newRow("Latin case") << "John.SMITH@example.com"
                                << "smith@EX" << true;
    QTest::newRow("Ukrainian letters fold too") << "Ґалина Їжак"
                                                << "ґалина їж" << true;
    QTest::newRow("at the very end") << "abc"
                                     << "bc" << true;
    QTest::newRow("the whole text") << "abc"
                                    << "ABC" << true;
    QTest::newRow("longer than the text") << "abc"
                                          << "abcd" << false;
    QTest::newRow("not there") << "Иванов"
                               << "петр" << false;
    QTest::newRow("е is not э") << "Эдуард"
                                << "едуард" << false;
    QTest::newRow("empty query finds everything") << "anything"
                                                  << "" << true;
    QTest::newRow("empty entry") << ""
                                 << "a" << false;
}

void TestExchange::queryIgnoresCaseAndYo()
{
    QFETCH(QString, text);
    QFETCH(QString, query);
    QFETCH(bool, found);
    const QueryMatcher matcher(cp1251::fromUtf8(query.toStdString()));
    QCOMPARE(matcher.matches(cp1251::fromUtf8(text.toStdString())), found);
}

// The skipping search against the obvious one over many random texts of few letters, where
// partial matches and repeats are frequent.
void TestExchange::queryAgreesWithPlainSearch()
{
    std::mt19937 random(15);
    const std::string alphabet = cp("aAbBёЁеЕ") + "\xB8\xA8\xE5\xC5 ";
    const unsigned char *fold = QueryMatcher::foldTable();
    const auto folded = [&](std::string s) {
        for (char &c : s)
            c = static_cast<char>(fold[static_cast<unsigned char>(c)]);
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        std::string text, needle;
        const int textLength = static_cast<int>(random() % 80), needleLength = 1 + static_cast<int>(random() % 5);
        for (int i = 0; i < textLength; ++i)
            text += alphabet[random() % alphabet.size()];
        for (int i = 0; i < needleLength; ++i)
            needle += alphabet[random() % alphabet.size()];
        const bool expected = folded(text).find(folded(needle)) != std::string::npos;
        QVERIFY2(QueryMatcher(needle).matches(text) == expected, (text + " / " + needle).c_str());
    }
}

// The search straight over the files' bytes against the lists the window reads from the same
// bytes: line ends of every kind, a NUL, lists of different lengths, hits in either list.
void TestExchange::searchOfTheDataFilesPairsTheirLines()
{
    std::mt19937 random(1251);
    const std::string alphabet = "abAB\r\n\r\n\0";
    const auto randomText = [&] {
        std::string text;
        const int length = static_cast<int>(random() % 40);
        for (int i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        return text;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string descriptionsText = randomText(), mailsText = randomText();
        std::string needle;
        for (int i = static_cast<int>(random() % 3); i > 0; --i)
            needle += alphabet[random() % 4];
        const QueryMatcher matcher(needle);

        LineList descriptions, mails;
        descriptions.assignText(descriptionsText);
        mails.assignText(mailsText);
        QStringList expected, found;
        for (std::size_t i = 0; i < std::max(descriptions.size(), mails.size()); ++i) {
            const std::string_view description = i < descriptions.size() ? descriptions[i] : std::string_view();
            const std::string_view mail = i < mails.size() ? mails[i] : std::string_view();
            if (!mail.empty() && (matcher.matches(description) || matcher.matches(mail)))
                expected << QString::fromLatin1(testutil::bytes(description) + '|' + testutil::bytes(mail));
        }
        findEntries(descriptionsText, mailsText, matcher, [&](std::string_view description, std::string_view mail) {
            found << QString::fromLatin1(testutil::bytes(description) + '|' + testutil::bytes(mail));
        });
        QCOMPARE(found, expected);
    }
    // A needle with a line break is in no entry, though the file holds it.
    int calls = 0;
    findEntries("a\r\nb\r\n", "a\r\nb\r\n", QueryMatcher("a\r\nb"), [&](auto, auto) { ++calls; });
    QCOMPARE(calls, 0);
}

// The search of the lists in memory against each entry matched on its own, while the lists are
// edited: in order after a load and appends, out of order after inserts and replacements, with
// the dead bytes of removed items, a NUL, lists of different lengths and words of one or several.
void TestExchange::searchOfTheListsAgreesWithEachEntry()
{
    std::mt19937 random(866);
    const std::string alphabet = std::string("abAB \r\n\0", 9) + cp("ёЕ");
    const auto randomText = [&](std::size_t length, std::size_t letters) {
        std::string text;
        for (std::size_t i = random() % length; i > 0; --i)
            text += alphabet[random() % letters];
        return text;
    };
    BookLists lists;
    for (int round = 0; round < 3000; ++round) {
        LineList &list = lists.list(random() % 2 ? ListId::Mails : ListId::Descriptions);
        switch (random() % 6) {
        case 0:
            list.assignText(randomText(60, alphabet.size()));
            break;
        case 1:
            if (!list.empty())
                list.remove(random() % list.size());
            break;
        case 2:
            list.insert(random() % (list.size() + 1), randomText(6, 4));
            break;
        case 3:
            if (!list.empty())
                list.replace(random() % list.size(), randomText(6, 4));
            break;
        default:
            list.append(randomText(6, 4));
        }
        // Letters, spaces and ё: words of one letter up to several words.
        std::string text = randomText(7, 6);
        for (char &c : text)
            c = c == '\r' ? cp("ё")[0] : c;
        const WordMatcher words(text);
        std::vector<std::uint32_t> expected;
        for (std::uint32_t row = 0; row < std::max(lists.descriptions.size(), lists.mails.size()); ++row) {
            const auto at = [row](const LineList &l) { return row < l.size() ? l[row] : std::string_view(); };
            if (words.matches(at(lists.descriptions), at(lists.mails)))
                expected.push_back(row);
        }
        const std::vector<std::uint32_t> found = findRows(lists, words);
        QVERIFY2(found == expected, text.c_str());
        QVERIFY(narrowRows(lists, WordMatcher(text + "a"), found) == findRows(lists, WordMatcher(text + "a")));

        // A stretch of the entries, its ends anywhere (past the end too).
        const std::size_t count = std::max(lists.descriptions.size(), lists.mails.size());
        const std::size_t from = random() % (count + 2), to = from + random() % (count + 2);
        std::vector<std::uint32_t> inStretch;
        std::copy_if(expected.begin(), expected.end(), std::back_inserter(inStretch),
            [&](std::uint32_t row) { return row >= from && row < to; });
        QVERIFY2(findRows(lists, words, from, to) == inStretch, text.c_str());

        // The same searched a few entries at a time from any entry on, round the end: in that
        // order, the whole of it once finished; and among the entries of a shorter text.
        const auto stepwise = [&](RowSearch search, const std::vector<std::uint32_t> &all, std::size_t start) {
            std::vector<std::uint32_t> order;
            std::copy_if(all.begin(), all.end(), std::back_inserter(order), [&](auto row) { return row >= start; });
            std::copy_if(all.begin(), all.end(), std::back_inserter(order), [&](auto row) { return row < start; });
            for (int steps = 0; !search.advance(lists, 1 + random() % 4); ++steps) {
                QVERIFY(steps <= static_cast<int>(count));
                QVERIFY(std::equal(search.found().begin(), search.found().end(), order.begin()));
            }
            QVERIFY2(search.found() == order, text.c_str());
            QVERIFY2(search.rows() == all, text.c_str());
        };
        const std::size_t start = random() % (count + 1);
        stepwise(RowSearch(lists, words, start), expected, start);
        if (!words.words().empty()) {
            const WordMatcher longer(text + "a");
            stepwise(RowSearch(longer, start, expected), findRows(lists, longer), start);
        }
    }
}

QTEST_APPLESS_MAIN(TestExchange)
#include "test_exchange.moc"
