#include "cli/command_line.h"

#include "book/address_store.h"
#include "book/book_folder.h"
#include "book/version.h"
#include "cli/book_access.h"
#include "exchange/csv.h"
#include "exchange/query.h"
#include "exchange/vcard.h"
#include "sys/cp1251.h"
#include "sys/system.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kvillo::cli {

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char *const kHelp
    = "Использование: kvillo [ПАРАМЕТР]\n"
      "Без параметров открывает окно адресной книги.\n"
      "\n"
      "  --query ТЕКСТ...        вывести записи, в описании или адресе которых есть\n"
      "                          каждое слово ТЕКСТА в любом порядке (регистр букв\n"
      "                          не важен, ё и е не различаются): первая\n"
      "                          строка — итог, затем по строке на запись:\n"
      "                          адрес<TAB>описание, в UTF-8\n"
      "  --export ФОРМАТ [ФАЙЛ]  выгрузить всю книгу в ФАЙЛ (без него — в стандартный\n"
      "                          вывод); ФОРМАТ: vcard (vCard 4.0), csv (через\n"
      "                          запятую, UTF-8, для почтовых программ) или\n"
      "                          csv-excel (через точку с запятой, UTF-8 с меткой\n"
      "                          BOM, для электронных таблиц)\n"
      "  --import ФОРМАТ ФАЙЛ    добавить в книгу контакты из ФАЙЛА (vcard, csv или\n"
      "                          csv-excel): из vCard по записи на каждый адрес, из\n"
      "                          CSV по записи на строку; контакты без адреса и\n"
      "                          записи, которые уже есть в книге, пропускаются;\n"
      "                          при любой ошибке в файле не добавляется ничего\n"
      "  -h, --help              показать эту справку\n"
      "  -V, --version           показать версию\n"
      "\n"
      "Пока адресной книги нет, она считается пустой: --query, --export, --help и\n"
      "--version ничего не создают, а --import создаёт книгу так же, как первый\n"
      "запуск программы.\n"
      "\n"
      "Код завершения:\n"
      "  0  успешно (для --query — найдена хотя бы одна запись);\n"
      "  1  для --query ничего не найдено; для --import — ошибка в файле, адресная\n"
      "     книга занята или её не удалось сохранить; для --export — не удалось\n"
      "     записать ФАЙЛ или стандартный вывод;\n"
      "  2  неверные параметры; ФАЙЛ для --import не найден или не читается;\n"
      "     адресную книгу не удалось прочитать; ФАЙЛ для --export — файл самой\n"
      "     адресной книги.\n"
      "\n"
      "Почтовые программы дополняют адреса из Kvillo, если в их настройках есть строка:\n"
      "  mutt (~/.muttrc) и neomutt (~/.neomuttrc):\n"
      "    set query_command = \"kvillo --query %s\"\n"
      "  aerc (~/.config/aerc/aerc.conf, раздел [compose]):\n"
      "    address-book-cmd = kvillo --query %s\n";

enum class Format { VCard, Csv, Spreadsheet };

const char *const kFormats = "vcard, csv или csv-excel";

void writeOut(std::string_view text)
{
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
        throw Error("ошибка записи в стандартный вывод");
    if (std::fflush(stdout) != 0)
        throw Error("ошибка записи в стандартный вывод");
}

void complain(const std::string &message)
{
    const std::string line = "kvillo: " + message + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

int usageError(const std::string &message)
{
    complain(message + "\nСправка: kvillo --help");
    return kUsage;
}

bool parseFormat(const std::string &name, Format &format)
{
    if (name == "vcard" || name == "vcf") {
        format = Format::VCard;
        return true;
    }
    if (name == "csv") {
        format = Format::Csv;
        return true;
    }
    if (name == "csv-excel") {
        format = Format::Spreadsheet;
        return true;
    }
    return false;
}

// Description and address made fit for one output line: a tab would start a new column.
void appendQueryField(std::string_view cp1251Text, std::string &out)
{
    const std::size_t start = out.size();
    cp1251::appendUtf8(cp1251Text, out, {}, 0);
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), '\t', ' ');
}

int query(const std::string &utf8Text)
{
    std::string lines;
    std::size_t found = 0;
    try {
        Bytes descriptions, mails;
        BookAccess(bookDirectory()).read(descriptions, mails);
        std::optional<std::string> needle;
        try {
            needle = exchange::utf8ToCp1251(utf8Text);
        } catch (const exchange::EncodingError &) {
            // A text the code page cannot hold is in no entry.
        }
        if (needle) {
            findEntries({descriptions.data(), descriptions.size()}, {mails.data(), mails.size()}, WordMatcher(*needle),
                [&](std::string_view description, std::string_view mail) {
                    appendQueryField(mail, lines);
                    lines += '\t';
                    appendQueryField(description, lines);
                    lines += '\n';
                    ++found;
                });
        }
    } catch (const BookReadError &e) {
        // The mail program shows the first line: the reason goes there.
        writeOut(std::string("Kvillo: ") + e.what() + "\n");
        return kUsage;
    }
    writeOut(found == 0 ? "Kvillo: ничего не найдено\n" : "Kvillo: найдено записей: " + std::to_string(found) + "\n");
    writeOut(lines);
    return found == 0 ? kFailed : kDone;
}

int exportBook(Format format, const std::string *file)
{
    const std::string directory = bookDirectory();
    const bool toFile = file != nullptr && *file != "-";
    if (toFile && AddressStore(directory).isBookFile(*file))
        return usageError("«" + *file + "» — файл самой адресной книги; выгрузка отменена, ничего не записано");
    LineList descriptions, mails;
    try {
        BookAccess(directory).load(descriptions, mails);
    } catch (const BookReadError &e) {
        complain(e.what());
        return kUsage;
    }
    std::string bytes;
    if (format == Format::VCard)
        vcard::write(descriptions, mails, bytes);
    else
        csv::write(descriptions, mails, bytes, format == Format::Spreadsheet ? csv::Dialect::Spreadsheet : csv::Dialect::Standard);
    if (!toFile) {
        writeOut(bytes);
        return kDone;
    }
    sys::replaceFile(*file, bytes);
    return kDone;
}

int importFile(Format format, const std::string &file)
{
    switch (sys::kindOf(file)) {
    case sys::Kind::Missing:
        return usageError("файл \"" + file + "\" не найден");
    case sys::Kind::Directory:
        return usageError("\"" + file + "\" — папка, а не файл");
    case sys::Kind::Other:
        return usageError("\"" + file + "\" — не обычный файл");
    case sys::Kind::File:
        break;
    }
    // Read into memory that is not zero-filled first: the file fills it.
    Bytes bytes;
    try {
        sys::readFile(file, bytes, exchange::kMaxImportBytes + 1);
    } catch (const std::exception &e) {
        complain(e.what());
        return kUsage;
    }
    if (bytes.size() > exchange::kMaxImportBytes) {
        complain("файл \"" + file + "\" больше 1 ГиБ; импорт отменён, ничего не записано");
        return kFailed;
    }
    // Either CSV dialect is read: the reader tells them apart.
    const std::string_view text(bytes.data(), bytes.size());
    const exchange::Contacts contacts = format == Format::VCard ? vcard::read(text, file) : csv::read(text, file);
    bytes = Bytes();
    BookAccess::Appended appended;
    if (contacts.size() != 0)
        appended = BookAccess(bookDirectory()).append(contacts);
    std::string report
        = exchange::importSummary(appended.counts.added, contacts.withoutAddress, appended.counts.alreadyThere);
    if (appended.outcome == BookAccess::Outcome::HandedOver)
        report += " Записи переданы работающей программе Kvillo.";
    complain(report);
    return kDone;
}

bool isQtOption(std::string_view argument)
{
    static const char *const options[] = {"-session", "-platform", "-platformpluginpath", "-platformtheme", "-display",
        "-style", "-stylesheet", "-reverse", "-qwindowgeometry", "-qwindowtitle", "-qwindowicon", "-geometry", "-title",
        "-name", "-plugin", "-nograb", "-dograb", "-sync", "-widgetcount"};
    return std::any_of(std::begin(options), std::end(options), [&](const char *o) { return argument == o; });
}

} // namespace

bool wantsCommandLine(int argc, char **argv)
{
    return argc > 1 && !isQtOption(argv[1]);
}

int run(int argc, char **argv)
{
    // No window shows what the book's store has to tell: it goes where the errors go.
    AddressStore::setNoticeHandler([](const std::string &notice) { complain(notice); });
    std::vector<std::string> args(argv + 1, argv + argc);
    // "--query=TEXT" is "--query TEXT".
    if (!args.empty() && args[0].rfind("--", 0) == 0) {
        const auto eq = args[0].find('=');
        if (eq != std::string::npos) {
            args.insert(args.begin() + 1, args[0].substr(eq + 1));
            args[0].resize(eq);
        }
    }
    const std::string option = args.empty() ? std::string() : args[0];
    try {
        if (option == "--help" || option == "-h") {
            if (args.size() != 1)
                return usageError("лишний параметр «" + args[1] + "»");
            writeOut(kHelp);
            return kDone;
        }
        if (option == "--version" || option == "-V") {
            if (args.size() != 1)
                return usageError("лишний параметр «" + args[1] + "»");
            writeOut("kvillo " KVILLO_VERSION "\n");
            return kDone;
        }
        if (option == "--query") {
            if (args.size() < 2)
                return usageError("не указан ТЕКСТ для --query");
            // Words given apart are one text: a mail program that splits its command line at
            // spaces (aerc does) still finds the entries that hold all of them.
            std::string text = args[1];
            for (std::size_t i = 2; i < args.size(); ++i)
                text += ' ' + args[i];
            return query(text);
        }
        if (option == "--export" || option == "--import") {
            Format format;
            if (args.size() < 2)
                return usageError("не указан ФОРМАТ для " + option + " (" + kFormats + ")");
            // "--import contacts.vcf": the file is there, the format before it is not.
            if (!parseFormat(args[1], format) && option == "--import" && args.size() == 2)
                return usageError("не указан ФОРМАТ для --import перед «" + args[1] + "» (" + kFormats + ")");
            if (!parseFormat(args[1], format))
                return usageError("неизвестный формат «" + args[1] + "» (" + kFormats + ")");
            if (option == "--export") {
                if (args.size() > 3)
                    return usageError("лишний параметр «" + args[3] + "»");
                return exportBook(format, args.size() == 3 ? &args[2] : nullptr);
            }
            if (args.size() < 3)
                return usageError("не указан ФАЙЛ для --import");
            if (args.size() > 3)
                return usageError("лишний параметр «" + args[3] + "»");
            return importFile(format, args[2]);
        }
        return usageError("неизвестный параметр «" + option + "»");
    } catch (const BookReadError &e) {
        // What the book holds cannot be known: as unusable as a file that cannot be read.
        complain(e.what());
        return kUsage;
    } catch (const std::exception &e) {
        complain(e.what());
        return kFailed;
    }
}

} // namespace kvillo::cli
