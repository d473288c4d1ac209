// The real program started with arguments, as a mail program or a user in a terminal starts it:
// without a display, each copy in a program directory of its own with a real book beside it.

#include "data_test_util.h"

#include "book/address_book.h"
#include "book/book_folder.h"
#include "channel/book_channel.h"
#include "sys/cp1251.h"
#include "sys/system.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <optional>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace kvillo;
using testutil::ScratchDir;

namespace {

struct Result
{
    int status = -1;
    QString out;
    QString err;
};

class Program
{
public:
    // Without a book: the program directory holds the executable alone.
    explicit Program(bool withBook = true)
    {
        QVERIFY(QFile::copy(QStringLiteral(KVILLO_EXECUTABLE), QString::fromStdString(m_dir.path("kvillo"))));
        if (!withBook)
            return;
        testutil::makeDir(m_dir.path("database"));
        writeBook(cp1251::fromUtf8("Иванов Пётр Сергеевич\r\nJohn Smith, sales\r\n\r\nФёдоров Иван\r\n"),
            "p.ivanov@example.ru\r\njohn@example.com\r\nnobody@example.org\r\nfedorov@example.ru\r\n");
    }

    std::string path(const char *relative) const { return m_dir.path(relative); }
    void writeBook(const std::string &descriptions, const std::string &mails) const
    {
        testutil::writeFile(m_dir.path("database/descriptions.dat"), descriptions);
        testutil::writeFile(m_dir.path("database/mails.dat"), mails);
    }
    std::string book() const
    {
        return testutil::readFile(m_dir.path("database/descriptions.dat")) + "|"
            + testutil::readFile(m_dir.path("database/mails.dat"));
    }
    QStringList files() const { return testutil::entries(m_dir.path()) + testutil::entries(m_dir.path("database")); }

    // Runs the program with no display at all: a window would fail to start. `home` set: with
    // that home and no XDG folders, so that the user's own folders are the defaults below it.
    Result run(const QStringList &arguments, const std::string &home = {}) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        if (!home.empty()) {
            for (const QString &name : env.keys()) {
                if (name.startsWith(QLatin1String("XDG_")))
                    env.remove(name);
            }
            env.insert(QStringLiteral("HOME"), QString::fromStdString(home));
        }
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(QString::fromStdString(m_dir.path()));
        process.start(QString::fromStdString(m_dir.path("kvillo")), arguments);
        Result result;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
            return result;
        result.status = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

private:
    ScratchDir m_dir;
};

// The step hook of a process killed at its N-th step of replacing files.
int g_killAt = 0;
int killAtStep(sys::Step)
{
    if (--g_killAt == 0)
        ::kill(::getpid(), SIGKILL);
    return 0;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void helpAndVersion()
    {
        Program program;
        const Result help = program.run({"--help"});
        QCOMPARE(help.status, 0);
        for (const char *text :
            {"--query ТЕКСТ", "--export ФОРМАТ [ФАЙЛ]", "--import ФОРМАТ ФАЙЛ", "csv-excel (через точку с запятой",
                "Код завершения", "query_command"})
            QVERIFY2(help.out.contains(QString::fromUtf8(text)), text);
        QVERIFY(help.err.isEmpty());
        QCOMPARE(program.run({"-h"}).out, help.out);

        const Result version = program.run({"--version"});
        QCOMPARE(version.status, 0);
        QCOMPARE(version.out, QStringLiteral("kvillo 2.1\n"));
    }

    // The window is a library beside the executable: without it the program says why.
    void windowWithoutItsLibrarySaysWhy()
    {
        Program program;
        const Result result = program.run({});
        QCOMPARE(result.status, 1);
        QVERIFY2(result.err.startsWith("kvillo: не удалось загрузить окно программы: "), qPrintable(result.err));
    }

    void badArgumentsExitWithTwo_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "неизвестный параметр «--frobnicate»";
        QTest::newRow("a bare word") << QStringList{"contacts.vcf"} << "неизвестный параметр";
        QTest::newRow("query without text") << QStringList{"--query"} << "не указан ТЕКСТ";
        QTest::newRow("version with extra") << QStringList{"--version", "a", "b"} << "лишний параметр «a»";
        QTest::newRow("export without format") << QStringList{"--export"} << "не указан ФОРМАТ";
        QTest::newRow("unknown format") << QStringList{"--export", "ldif"} << "неизвестный формат «ldif» (vcard, csv или csv-excel)";
        QTest::newRow("import of a file without its format")
            << QStringList{"--import", "cards.vcf"} << "не указан ФОРМАТ для --import перед «cards.vcf»";
        QTest::newRow("import without file") << QStringList{"--import", "csv"} << "не указан ФАЙЛ";
        QTest::newRow("missing file") << QStringList{"--import", "vcard", "missing.vcf"}
                                      << "файл \"missing.vcf\" не найден";
        QTest::newRow("a folder") << QStringList{"--import", "csv", "database"} << "папка";
        QTest::newRow("help with extra") << QStringList{"--help", "x"} << "лишний параметр";
    }

    void badArgumentsExitWithTwo()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        Program program;
        const std::string before = program.book();
        const Result result = program.run(arguments);
        QCOMPARE(result.status, 2);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.err.startsWith("kvillo: ") && result.err.contains(message), qPrintable(result.err));
        QVERIFY(result.err.contains("kvillo --help"));
        QCOMPARE(program.book(), before);
    }

    void queryAnswersAsMailProgramsRead()
    {
        Program program;
        const std::string before = program.book();
        const QStringList filesBefore = program.files();

        const Result found = program.run({"--query", "ИВАН"});
        QCOMPARE(found.status, 0);
        QCOMPARE(found.out,
            QStringLiteral("Kvillo: найдено записей: 2\n"
                           "p.ivanov@example.ru\tИванов Пётр Сергеевич\n"
                           "fedorov@example.ru\tФёдоров Иван\n"));
        // ё as е, and a match in the address alone; the entry without a description has an
        // empty second column.
        QCOMPARE(program.run({"--query=федор"}).out,
            QStringLiteral("Kvillo: найдено записей: 1\nfedorov@example.ru\tФёдоров Иван\n"));
        // The words as arguments of their own, as a mail program that splits at spaces passes them.
        QCOMPARE(program.run({"--query", "иван", "", "фёдоров"}).out, program.run({"--query", "иван фёдоров"}).out);
        QCOMPARE(program.run({"--query", "иван", "zzz"}).status, 1);
        QCOMPARE(program.run({"--query", "NOBODY"}).out,
            QStringLiteral("Kvillo: найдено записей: 1\nnobody@example.org\t\n"));

        const Result none = program.run({"--query", "Сидоров"});
        QCOMPARE(none.status, 1);
        QCOMPARE(none.out, QStringLiteral("Kvillo: ничего не найдено\n"));
        QCOMPARE(program.run({"--query", "王"}).status, 1);

        // Reading only: no lock file, no backup, nothing written.
        QCOMPARE(program.book(), before);
        QCOMPARE(program.files(), filesBefore);

        // A tab inside a stored text would start a column of its own: it comes out as a space.
        program.writeBook(cp1251::fromUtf8("Иванов\tПётр\t\r\n"), "p.ivanov\t@example.ru\r\n");
        QCOMPARE(program.run({"--query", "иванов"}).out,
            QStringLiteral("Kvillo: найдено записей: 1\np.ivanov @example.ru\tИванов Пётр \n"));
    }

    // Every word of the text, in any order, each in the description or in the address.
    void queryMatchesEveryWordInAnyOrder_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("addresses");
        QTest::newRow("reversed, ё typed") << "иван фёдоров"
                                           << "fedorov@example.ru";
        QTest::newRow("reversed, case") << "сергеевич ПЁТР"
                                        << "p.ivanov@example.ru";
        QTest::newRow("one word in each field") << "example.ru иванов"
                                                << "p.ivanov@example.ru";
        QTest::newRow("spaces around and between") << "  sales\t john "
                                                   << "john@example.com";
        QTest::newRow("same word twice") << "иван иван"
                                         << "p.ivanov@example.ru fedorov@example.ru";
        QTest::newRow("words of two entries") << "иванов john"
                                              << "";
        QTest::newRow("only spaces finds all")
            << "   "
            << "p.ivanov@example.ru john@example.com nobody@example.org fedorov@example.ru";
    }

    void queryMatchesEveryWordInAnyOrder()
    {
        QFETCH(QString, text);
        QFETCH(QString, addresses);
        Program program;
        const Result result = program.run({"--query", text});
        QStringList found = result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        found.removeFirst();
        for (QString &line : found)
            line = line.section(QLatin1Char('\t'), 0, 0);
        QCOMPARE(found.join(QLatin1Char(' ')), addresses);
        QCOMPARE(result.status, addresses.isEmpty() ? 1 : 0);
    }

    void queryOfAnUnreadableBookSaysWhyOnTheFirstLine()
    {
        Program program;
        QVERIFY(QFile::remove(QString::fromStdString(program.path("database/mails.dat"))));
        const Result result = program.run({"--query", "x"});
        QCOMPARE(result.status, 2);
        QVERIFY2(result.out.startsWith("Kvillo: не удалось прочитать адресную книгу: Cannot open file"),
            qPrintable(result.out));
        QCOMPARE(result.out.count('\n'), 1);
    }

    void exportToFileAndToStandardOutput()
    {
        Program program;
        const Result toFile = program.run({"--export", "vcard", "book.vcf"});
        QCOMPARE(toFile.status, 0);
        QVERIFY(toFile.out.isEmpty());
        const std::string file = testutil::readFile(program.path("book.vcf"));
        QVERIFY(file.rfind("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Иванов Пётр Сергеевич\r\nEMAIL:p.ivanov@example.ru\r\n", 0)
            == 0);

        QProcess process; // standard output byte for byte
        process.start(QString::fromStdString(program.path("kvillo")), {"--export", "vcard"});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(process.readAllStandardOutput().toStdString(), file);

        // An existing file is replaced whole.
        testutil::writeFile(program.path("book.csv"), std::string(100000, 'x'));
        QCOMPARE(program.run({"--export", "csv", "book.csv"}).status, 0);
        QVERIFY(QString::fromStdString(testutil::readFile(program.path("book.csv")))
                    .startsWith(QStringLiteral("\"Name\",\"E-mail Address\"\r\n\"Иванов Пётр")));
        // The spreadsheet form, and an import of it that finds every entry there already.
        QCOMPARE(program.run({"--export", "csv-excel", "table.csv"}).status, 0);
        QVERIFY(testutil::readFile(program.path("table.csv"))
                    .starts_with("\xEF\xBB\xBF\"Name\";\"E-mail Address\"\r\n\"Иванов Пётр"));
        const Result again = program.run({"--import", "csv-excel", "table.csv"});
        QCOMPARE(again.err, QStringLiteral("kvillo: Добавлено записей: 0. Пропущено без адреса: 0, уже были в книге: 4.\n"));

        const Result unwritable = program.run({"--export", "csv", "no/such/folder/book.csv"});
        QCOMPARE(unwritable.status, 1);
        QVERIFY2(unwritable.err.contains("Cannot create file"), qPrintable(unwritable.err));
    }

    // The export checks its target as a backup does: a hard link to a data file is refused.
    void exportNeverOverwritesTheBook()
    {
        Program program;
        QVERIFY(::link(program.path("database/mails.dat").c_str(), program.path("hard.csv").c_str()) == 0);
        const std::string before = program.book();
        const Result result = program.run({"--export", "csv", "hard.csv"});
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains("«hard.csv» — файл самой адресной книги; выгрузка отменена, ничего не записано"),
            qPrintable(result.err));
        QCOMPARE(program.book(), before);
    }

    // A commit record planted in the book (from an archive, say) is set aside untouched, the
    // import goes on, and the user reads once why.
    // A save of the pair cut short, found by a query that takes no lock and writes nothing: the
    // pair is read as the next start will leave it, never half old, and nothing on disk changes.
    void queryReadsAPairCutShortAsItWillBe_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("found"); // the description of the book's second entry
        QTest::newRow("recorded, nothing renamed yet") << "recorded" << "New";
        QTest::newRow("addresses renamed, descriptions not") << "mails renamed" << "New";
        QTest::newRow("a temporary torn before any rename") << "torn" << "John Smith, sales";
        QTest::newRow("a record not of ours") << "foreign" << "John Smith, sales";
    }
    void queryReadsAPairCutShortAsItWillBe()
    {
        QFETCH(QString, state);
        QFETCH(QString, found);
        Program program;
        const std::string folder = program.path("database/");
        const std::string descriptions = "Nobody\r\nNew\r\n", mails = "a@x\r\nnew@x.org\r\n";
        testutil::writeFile(folder + ".kvillo-save-AAAAAA", descriptions);
        testutil::writeFile(folder + ".kvillo-save-BBBBBB", state == "torn" ? mails.substr(0, 5) : mails);
        testutil::writeFile(folder + ".kvillo-commit",
            sys::encodeCommitRecord({{".kvillo-save-AAAAAA", "descriptions.dat", sys::checksum(descriptions)},
                {".kvillo-save-BBBBBB", state == "foreign" ? "../outside" : "mails.dat", sys::checksum(mails)}}));
        if (state == "mails renamed")
            QVERIFY(::rename((folder + ".kvillo-save-BBBBBB").c_str(), (folder + "mails.dat").c_str()) == 0);
        const std::string before = program.book();
        const QStringList files = program.files();
        const Result result = program.run({"--query", ""});
        QVERIFY2(result.status == 0, qPrintable(result.err));
        QCOMPARE(result.out.split('\n').value(2).section('\t', 1), found);
        QCOMPARE(program.book(), before);
        QCOMPARE(program.files(), files);
    }

    // Root imports into another user's book: every file it writes there is that user's, who then
    // goes on importing as before.
    void importAsRootLeavesTheBookItsOwners()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to work on another user's book");
        Program program;
        testutil::writeFile(program.path("new.vcf"), "BEGIN:VCARD\nFN:New\nEMAIL:new@x\nEND:VCARD\n");
        testutil::writeFile(program.path("own.vcf"), "BEGIN:VCARD\nFN:Own\nEMAIL:own@x\nEND:VCARD\n");
        QVERIFY(::chmod(program.path("").c_str(), 0755) == 0);
        for (const char *name : {"", "database", "database/descriptions.dat", "database/mails.dat", "own.vcf"})
            QVERIFY(::chown(program.path(name).c_str(), testutil::Child::kNobody, testutil::Child::kNobody) == 0);
        QCOMPARE(program.run({"--import", "vcard", "new.vcf"}).status, 0);
        for (const QString &name : testutil::entries(program.path("database"))) {
            struct stat st
            { };
            QVERIFY(::stat((program.path("database/") + name.toStdString()).c_str(), &st) == 0);
            QVERIFY2(st.st_uid == testutil::Child::kNobody || name == ".kvillo.lock", qPrintable(name));
        }
        QProcess nobody;
        nobody.setWorkingDirectory(QString::fromStdString(program.path("")));
        nobody.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "./kvillo", "--import", "vcard",
                                    "own.vcf"});
        QVERIFY(nobody.waitForFinished(30000));
        QVERIFY2(nobody.exitCode() == 0, nobody.readAllStandardError().constData());
        QVERIFY(program.book().find("own@x") != std::string::npos);
    }

    void importSetsAPlantedRecordAside()
    {
        Program program;
        testutil::writeFile(program.path("database/.kvillo-commit"), "kvillo-commit");
        testutil::writeFile(program.path("new.vcf"), "BEGIN:VCARD\nFN:New\nEMAIL:new@x\nEND:VCARD\n");
        const Result result = program.run({"--import", "vcard", "new.vcf"});
        QCOMPARE(result.status, 0);
        QVERIFY2(result.err.startsWith("kvillo: В папке адресной книги найдена повреждённая или чужая запись")
                && result.err.count("kvillo: ") == 2,
            qPrintable(result.err));
        QVERIFY(testutil::readFile(program.path("database/mails.dat")).ends_with("fedorov@example.ru\r\nnew@x\r\n"));
        QCOMPARE(testutil::entries(program.path("database")).filter(".kvillo-commit.rejected-").size(), 1);
    }

    void importAppendsOrWritesNothing()
    {
        Program program;
        testutil::writeFile(program.path("new.csv"), "ФИО;E-mail\r\nСидоров Сидор;sid@example.ru;\r\n");
        const Result added = program.run({"--import", "csv", "new.csv"});
        QCOMPARE(added.status, 0);
        QCOMPARE(added.err, QStringLiteral("kvillo: Добавлено записей: 1.\n"));
        QCOMPARE(testutil::readFile(program.path("database/mails.dat")),
            "p.ivanov@example.ru\r\njohn@example.com\r\nnobody@example.org\r\nfedorov@example.ru\r\nsid@example."
            "ru\r\n");
        QVERIFY(testutil::readFile(program.path("database/descriptions.dat"))
                    .ends_with("\r\n" + cp1251::fromUtf8("Сидоров Сидор") + "\r\n"));
        QCOMPARE(program.run({"--query", "сидор"}).status, 0);

        // The lock of a running program is released again: a second import works.
        testutil::writeFile(
            program.path("two.vcf"), "BEGIN:VCARD\nVERSION:3.0\nFN:Two\nEMAIL:a@x\nEMAIL:b@x\nEND:VCARD\n");
        QCOMPARE(program.run({"--import", "vcard", "two.vcf"}).status, 0);
        QVERIFY(testutil::readFile(program.path("database/mails.dat")).ends_with("sid@example.ru\r\na@x\r\nb@x\r\n"));

        // A bad card at the end refuses the good ones before it too.
        const std::string before = program.book();
        testutil::writeFile(program.path("bad.vcf"),
            "BEGIN:VCARD\nFN:Good\nEMAIL:good@x\nEND:VCARD\nBEGIN:VCARD\nFN:Bad\nEMAIL:bad@x\n");
        const Result refused = program.run({"--import", "vcard", "bad.vcf"});
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.contains("Файл «bad.vcf», строка 5: карточка не закончена"), qPrintable(refused.err));
        QCOMPARE(program.book(), before);

        // The same files again add nothing, and say so; a file of cards without addresses alone
        // is no error either, and leaves the files untouched.
        testutil::writeFile(program.path("none.vcf"), "BEGIN:VCARD\nFN:Nobody\nTEL:123\nEND:VCARD\n");
        for (const auto &[file, report] : {std::pair("new.csv", "Добавлено записей: 0. Пропущено без адреса: 0, уже были в книге: 1."),
                 std::pair("two.vcf", "Добавлено записей: 0. Пропущено без адреса: 0, уже были в книге: 2."),
                 std::pair("none.vcf", "Добавлено записей: 0. Пропущено без адреса: 1, уже были в книге: 0.")}) {
            const Result again = program.run({"--import", file == std::string_view("new.csv") ? "csv" : "vcard", file});
            QCOMPARE(again.status, 0);
            QCOMPARE(again.err, QStringLiteral("kvillo: ") + QString::fromUtf8(report) + "\n");
            QCOMPARE(program.book(), before);
        }
    }

    // Imports started together wait for each other: every one is stored, and the files pair; the
    // same file imported by several at once is stored once.
    void importsAtOnceAllLand()
    {
        Program program;
        std::vector<std::unique_ptr<QProcess>> imports;
        for (int i = 0; i < 6; ++i) {
            const std::string file = program.path(("one" + std::to_string(i % 3) + ".vcf").c_str());
            testutil::writeFile(file, "BEGIN:VCARD\nFN:One\nEMAIL:one" + std::to_string(i % 3) + "@x\nEND:VCARD\n");
            imports.push_back(std::make_unique<QProcess>());
            imports.back()->start(QString::fromStdString(program.path("kvillo")),
                {"--import", "vcard", QString::fromStdString(file)});
        }
        int stored = 0;
        for (const auto &import : imports) {
            QVERIFY(import->waitForFinished(60000));
            QCOMPARE(import->exitCode(), 0);
            const QString err = QString::fromUtf8(import->readAllStandardError());
            if (err.contains("Добавлено записей: 1."))
                ++stored;
            else
                QVERIFY2(err.contains("Добавлено записей: 0. Пропущено без адреса: 0, уже были в книге: 1."), qPrintable(err));
        }
        // Three files, each imported twice: the first import of each stores it.
        QCOMPARE(stored, 3);
        const std::string mails = testutil::readFile(program.path("database/mails.dat"));
        const std::string descriptions = testutil::readFile(program.path("database/descriptions.dat"));
        QCOMPARE(std::count(mails.begin(), mails.end(), '\n'), 4 + 3);
        QCOMPARE(std::count(descriptions.begin(), descriptions.end(), '\n'), 4 + 3);
    }

    // A holder of the book that cannot take the import: one that holds the lock but does not
    // listen (a hung window), and one that hangs up in the middle of a large import, which must
    // not end the sender (SIGPIPE). Nothing is written and the user is told the book is held.
    void importNeverWritesBehindARunningProgram_data()
    {
        QTest::addColumn<bool>("hangsUp");
        QTest::newRow("holds the lock, does not listen") << false;
        QTest::newRow("hangs up in the middle") << true;
    }
    void importNeverWritesBehindARunningProgram()
    {
        QFETCH(bool, hangsUp);
        Program program;
        std::string cards;
        for (int i = 0; i < (hangsUp ? 20000 : 1); ++i)
            cards += "BEGIN:VCARD\nFN:New " + std::to_string(i) + "\nEMAIL:new" + std::to_string(i) + "@x\nEND:VCARD\n";
        testutil::writeFile(program.path("new.vcf"), cards);
        const std::string before = program.book();
        const std::string folder = program.path("database/");
        const std::string name = channel::listenName(folder);
        testutil::Child running(false, [&](const std::function<void()> &ready, int release) {
            sys::FolderLock lock(folder);
            ::unlink(name.c_str());
            const int server = hangsUp ? testutil::localSocket(name, true) : -1;
            ready();
            for (pollfd waits[2] = {{server, POLLIN, 0}, {release, POLLIN, 0}};
                 ::poll(waits, 2, -1) > 0 && waits[1].revents == 0;) {
                const int client = ::accept(server, nullptr, nullptr);
                char some[100];
                (void)!::read(client, some, sizeof some);
                ::close(client);
            }
            return std::string();
        });
        QVERIFY(running.waitReady());
        const Result result = program.run({"--import", "vcard", "new.vcf"});
        running.finish();
        QCOMPARE(result.status, 1);
        QVERIFY2(result.err.contains("открыта в работающей программе Kvillo") && result.err.contains("ничего не записано"),
            qPrintable(result.err));
        QCOMPARE(program.book(), before);
        QCOMPARE(program.run({"--import", "vcard", "new.vcf"}).status, 0);
        QVERIFY(program.book() != before);
    }

    // The window that takes an import over the channel dies at each step of the save that stores
    // it, before it can answer. The import then stores the entries itself unless the save that died
    // had committed them: either way they are in the book exactly once.
    void importHandedToAWindowThatDies()
    {
        Program program;
        testutil::writeFile(program.path("new.vcf"), "BEGIN:VCARD\nFN:New\nEMAIL:new@x\nEND:VCARD\n");
        const std::string folder = program.path("database/");
        const std::string descriptions = testutil::readFile(folder + "descriptions.dat");
        const std::string mails = testutil::readFile(folder + "mails.dat");
        const std::string name = channel::listenName(folder);
        for (int step = 1;; ++step) {
            QVERIFY2(step < 40, "the save never completes");
            program.writeBook(descriptions, mails);
            ::unlink(program.path("database/.kvillo-imported").c_str());
            testutil::Child window(false, [&](const std::function<void()> &ready, int) {
                sys::FolderLock lock(folder);
                ::unlink(name.c_str());
                const int server = testutil::localSocket(name, true);
                ready();
                const int client = ::accept(server, nullptr, nullptr);
                std::string received = testutil::receive(client, 100);
                const channel::Request request = channel::takeRequest(received);
                AddressBook book(program.path(""));
                book.load();
                g_killAt = step;
                sys::setStepHook(killAtStep);
                book.appendAndSave(request.entries, request.importId);
                return std::to_string(::write(client, "added\n", 6));
            });
            QVERIFY(window.waitReady());
            const Result result = program.run({"--import", "vcard", "new.vcf"});
            window.finish();
            QVERIFY2(result.status == 0, qPrintable(result.err));
            const std::string book = program.book();
            QCOMPARE(std::count(book.begin(), book.end(), '\n'), 2 * 5);
            QVERIFY2(book.find("New\r\n") == book.rfind("New\r\n") && book.find("new@x") == book.rfind("new@x"),
                ("after a kill at step " + std::to_string(step)).c_str());
            if (WIFEXITED(window.status())) {
                // Each of the three files (the journal the third) written and flushed, the record
                // written, flushed and put in place, the folder flushed, three renames, the folder
                // flushed, the record removed.
                QCOMPARE(step, 16);
                QVERIFY(result.err.contains("переданы работающей программе"));
                break;
            }
            QVERIFY(WIFSIGNALED(window.status()) && WTERMSIG(window.status()) == SIGKILL);
            QVERIFY(result.err.contains("Добавлено записей: 1."));
        }
    }

    // Each exit status is the one --help promises for that case: the row names the words of the
    // help's line for the status that cover it.
    void exitStatusesAsHelpSays_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("fault"); // what is done to the book or the files first
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("promise");
        QTest::newRow("query finds") << QStringList{"--query", "иван"} << "" << 0 << "успешно";
        QTest::newRow("query finds nothing") << QStringList{"--query", "zzz"} << "" << 1 << "ничего не найдено";
        QTest::newRow("import of a bad file") << QStringList{"--import", "vcard", "bad.vcf"} << "" << 1
                                              << "для --import — ошибка в файле";
        QTest::newRow("import into a held book") << QStringList{"--import", "vcard", "good.vcf"} << "held" << 1
                                                 << "книга занята";
        QTest::newRow("export into a missing folder")
            << QStringList{"--export", "csv", "no/such/book.csv"} << "" << 1 << "не удалось записать ФАЙЛ";
        QTest::newRow("export onto a data file") << QStringList{"--export", "csv", "database/mails.dat"} << "" << 2
                                                 << "файл самой адресной книги";
        QTest::newRow("import of a missing file")
            << QStringList{"--import", "vcard", "missing.vcf"} << "" << 2 << "ФАЙЛ для --import не найден";
        QTest::newRow("import of a FIFO") << QStringList{"--import", "vcard", "fifo"} << "" << 2 << "не читается";
        for (const char *command : {"--query", "--export", "--import"}) {
            QStringList arguments{command};
            arguments << (arguments[0] == "--query" ? QStringList{"x"}
                    : arguments[0] == "--export"    ? QStringList{"csv"}
                                                    : QStringList{"vcard", "good.vcf"});
            QTest::addRow("%s of a damaged book", command) << arguments << "damaged" << 2 << "не удалось прочитать";
        }
        QTest::newRow("bad option") << QStringList{"--frobnicate"} << "" << 2 << "неверные параметры";
    }

    void exitStatusesAsHelpSays()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, fault);
        QFETCH(int, status);
        QFETCH(QString, promise);
        Program program;
        testutil::writeFile(program.path("good.vcf"), "BEGIN:VCARD\nFN:New\nEMAIL:new@x\nEND:VCARD\n");
        testutil::writeFile(program.path("bad.vcf"), "BEGIN:VCARD\nFN:Bad\n");
        QCOMPARE(::mkfifo(program.path("fifo").c_str(), 0600), 0);
        std::optional<sys::FolderLock> held;
        if (fault == "held")
            held.emplace(program.path("database/"));
        if (fault == "damaged")
            QVERIFY(QFile::remove(QString::fromStdString(program.path("database/descriptions.dat"))));

        const Result result = program.run(arguments);
        QVERIFY2(result.status == status, qPrintable(QString::number(result.status) + " " + result.err + result.out));

        // The help's lines for this status, from its number to the next one.
        const QString help = program.run({"--help"}).out;
        const qsizetype from = help.indexOf(QStringLiteral("\n  %1  ").arg(status));
        QVERIFY(from > 0);
        const qsizetype to = help.indexOf(QRegularExpression(QStringLiteral("\n(  \\d  |\n)")), from + 1);
        const QString promised = help.mid(from, to - from).simplified();
        QVERIFY2(promised.contains(promise), qPrintable(promised));
    }

    // A command that only reads or answers creates nothing anywhere, not even the book's folder
    // or the user's data folder, and a book that is not there yet reads as an empty one.
    void commandsThatOnlyReadCreateNothing_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::newRow("query") << QStringList{"--query", "x"} << 1 << "Kvillo: ничего не найдено\n";
        QTest::newRow("query of everything") << QStringList{"--query", ""} << 1 << "Kvillo: ничего не найдено\n";
        QTest::newRow("vCard export") << QStringList{"--export", "vcard"} << 0 << "";
        QTest::newRow("CSV export") << QStringList{"--export", "csv"} << 0 << "\"Name\",\"E-mail Address\"\r\n";
        QTest::newRow("version") << QStringList{"--version"} << 0 << "kvillo 2.1\n";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "*";
        QTest::newRow("bad option") << QStringList{"--frobnicate"} << 2 << "";
        QTest::newRow("import of a missing file") << QStringList{"--import", "csv", "missing.csv"} << 2 << "";
    }

    void commandsThatOnlyReadCreateNothing()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        Program program(false);
        testutil::makeDir(program.path("home"));
        const Result result = program.run(arguments, program.path("home"));
        QCOMPARE(result.status, status);
        if (out != "*")
            QCOMPARE(result.out, out);
        QCOMPARE(testutil::entries(program.path("")), QStringList({"home", "kvillo"}));
        QCOMPARE(testutil::entries(program.path("home")), QStringList());
    }

    // An import into a book that is not there yet makes it as a first start does (the empty data
    // files, the shipped settings, private modes) and adds to it. A book with one data file of the
    // two is damaged: nothing is made, the import is refused.
    void importMakesAnAbsentBook_data()
    {
        QTest::addColumn<QStringList>("before"); // what the program directory holds besides the program
        QTest::addColumn<int>("status");
        QTest::newRow("no book folders") << QStringList{} << 0;
        QTest::newRow("an empty database folder") << QStringList{"database/"} << 0;
        QTest::newRow("a database folder with a stray file") << QStringList{"database/notes.txt"} << 0;
        QTest::newRow("settings already there") << QStringList{"config/config.ini"} << 0;
        QTest::newRow("only the addresses") << QStringList{"database/mails.dat"} << 2;
        QTest::newRow("only the descriptions") << QStringList{"database/descriptions.dat"} << 2;
    }

    void importMakesAnAbsentBook()
    {
        QFETCH(QStringList, before);
        QFETCH(int, status);
        Program program(false);
        for (const QString &entry : before) {
            const std::string path = program.path(entry.toStdString().c_str());
            testutil::makeDir(path.substr(0, path.rfind('/')));
            if (!entry.endsWith('/'))
                testutil::writeFile(path, "kept\r\n");
        }
        testutil::writeFile(program.path("new.vcf"), "BEGIN:VCARD\nFN:Новый\nEMAIL:new@x\nEND:VCARD\n");
        const Result result = program.run({"--import", "vcard", "new.vcf"});
        QVERIFY2(result.status == status, qPrintable(result.err));
        if (status != 0) {
            QVERIFY2(result.err.contains("не удалось прочитать адресную книгу: Cannot open file"), qPrintable(result.err));
            QCOMPARE(testutil::entries(program.path("database")).filter(".dat").size(), 1);
            QVERIFY(testutil::entries(program.path("config")).isEmpty());
            return;
        }
        QCOMPARE(testutil::readFile(program.path("database/mails.dat")), std::string("new@x\r\n"));
        QCOMPARE(testutil::readFile(program.path("database/descriptions.dat")), cp1251::fromUtf8("Новый") + "\r\n");
        const std::string settings = testutil::readFile(program.path("config/config.ini"));
        QCOMPARE(settings, before.contains("config/config.ini") ? std::string("kept\r\n") : std::string(defaultSettingsText()));
        QCOMPARE(testutil::entries(program.path("")).filter(".kvillo-new-"), QStringList());
        for (const char *made : {"database", "config", "database/mails.dat", "database/descriptions.dat"}) {
            struct stat st
            { };
            QCOMPARE(::stat(program.path(made).c_str(), &st), 0);
            const bool theirs = std::any_of(
                before.begin(), before.end(), [&](const QString &entry) { return entry.startsWith(made); });
            QVERIFY2(theirs || (st.st_mode & 077) == 0, made);
        }
        QCOMPARE(program.run({"--query", "новый"}).status, 0);
    }
};

QTEST_APPLESS_MAIN(TestCommandLine)
#include "test_command_line.moc"
