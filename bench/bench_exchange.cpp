// bench_exchange DIR KVILLO [REPEATS]
// bench_exchange --readers [REPEATS]
//
// Times the command line on the book under DIR (made by generate_book), each figure the median of
// REPEATS runs (default 5), warm page cache, with the time to read the same files once beside it:
//
//   query   `kvillo --query TEXT` over the whole book, process start to exit (output to /dev/null);
//   export  `kvillo --export vcard FILE` of the whole book, process start to exit, beside the
//           vCard writing alone and the atomic write (with its fsync) of the same bytes alone;
//           and the export to standard output (/dev/null);
//   import  `kvillo --import vcard FILE` of 100 thousand cards into an empty book, process start to
//           exit, and the vCard reading alone in this process; beside it, in the same run, abook
//           (when it is on the PATH) converting the same file to its own format, and the ratio.
//
// On a shared machine the wall-clock figures include waiting for a CPU; the CPU time the program
// used (user and system, from wait4) is printed beside them.
//   readers the vCard and CSV readers on files built to make a careless reader quadratic, each
//           beside the same reader on an ordinary file of the same size timed in the same run:
//           a long property name before ";QUOTED-PRINTABLE:=" and then a quarter of a million
//           "=" soft line breaks (1.25 MB), and a CSV header of 20 thousand "email" columns over
//           20 thousand one-address rows (280 kB). `--readers` times only these, without a book.
//
// KVILLO is the built program; it is copied to DIR/kvillo (where it finds DIR's book) and to
// DIR/import/kvillo (an empty book the imports go to, emptied before each run).

#include "book/address_store.h"
#include "exchange/csv.h"
#include "exchange/vcard.h"
#include "sys/system.h"
#include "testing/crafted_files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace kvillo;

namespace {

using Clock = std::chrono::steady_clock;

struct Stats
{
    double median = 0, min = 0, max = 0;
    double cpu = -1; // median CPU time of the program (user and system), when one was run
};

double g_childCpuMs = 0; // CPU time of the programs run since the last reset

// Runs the works in turn, `repeats` rounds of each, so that a change in the machine's speed while
// they run meets all of them alike; the figures of each.
std::vector<Stats> measureSideBySide(int repeats, const std::vector<std::function<void()>> &works)
{
    std::vector<std::vector<double>> ms(works.size()), cpu(works.size());
    for (int i = 0; i < repeats; ++i) {
        for (std::size_t w = 0; w < works.size(); ++w) {
            g_childCpuMs = 0;
            const auto start = Clock::now();
            works[w]();
            ms[w].push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            cpu[w].push_back(g_childCpuMs);
        }
    }
    std::vector<Stats> stats;
    for (std::size_t w = 0; w < works.size(); ++w) {
        std::sort(ms[w].begin(), ms[w].end());
        std::sort(cpu[w].begin(), cpu[w].end());
        stats.push_back(
            {ms[w][ms[w].size() / 2], ms[w].front(), ms[w].back(), cpu[w].back() > 0 ? cpu[w][cpu[w].size() / 2] : -1});
    }
    return stats;
}

Stats measure(int repeats, const std::function<void()> &work)
{
    return measureSideBySide(repeats, {work}).front();
}

// Runs the program to its end with standard output to /dev/null; returns its exit status.
int runProgram(const std::string &program, const std::vector<std::string> &args)
{
    std::vector<char *> argv{const_cast<char *>(program.c_str())};
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        std::perror(program.c_str());
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage usage
    { };
    wait4(pid, &status, 0, &usage);
    g_childCpuMs += (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The program's path found on the PATH, or empty.
std::string onPath(const std::string &name)
{
    const char *path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

void copyProgram(const std::string &from, const std::string &to)
{
    sys::replaceFile(to, sys::readFile(from));
    ::chmod(to.c_str(), 0755);
}

void print(const char *what, const Stats &s, const Stats *baseline, double goalMs)
{
    std::printf("%-44s %8.1f ms (min %.1f, max %.1f)", what, s.median, s.min, s.max);
    if (s.cpu >= 0)
        std::printf("  CPU %.1f ms", s.cpu);
    if (baseline != nullptr)
        std::printf("  read once %.1f ms", baseline->median);
    if (goalMs > 0)
        std::printf("  goal under %.0f ms: %s", goalMs, s.median < goalMs ? "met" : "NOT MET");
    std::printf("\n");
}

// Cards that are ordinary, of at least `size` bytes: the yardstick for the crafted files.
std::string ordinaryCards(std::size_t size, bool csvFormat)
{
    LineList descriptions, mails;
    std::string out;
    for (std::size_t i = 0; out.size() < size; i += 1000) {
        for (std::size_t k = i; k < i + 1000; ++k) {
            descriptions.append("Ivanov Petr " + std::to_string(k));
            // Appended piece by piece: GCC 12 warns wrongly about "p" + std::string.
            std::string mail = "p";
            mail += std::to_string(k);
            mail += "@example.ru";
            mails.append(mail);
        }
        out.clear();
        if (csvFormat)
            csv::write(descriptions, mails, out);
        else
            vcard::write(descriptions, mails, out);
    }
    return out;
}

void benchReaders(int repeats)
{
    const std::string softBreaks = crafted::softBreakCard(500000, 250000);
    const std::string mailColumns = crafted::mailColumnsTable(20000, 20000);

    struct Case
    {
        const char *what;
        const std::string &file;
        bool csvFormat;
    };
    for (const Case &c : {Case{"vcard: 250000 soft breaks after a 500 kB name", softBreaks, false},
             Case{"csv: 20000 e-mail columns by 20000 rows", mailColumns, true}}) {
        const auto read = [&](const std::string &file) {
            const exchange::Contacts contacts = c.csvFormat ? csv::read(file, "bench") : vcard::read(file, "bench");
            if (contacts.size() == 0)
                throw std::runtime_error("nothing read");
        };
        const std::string ordinary = ordinaryCards(c.file.size(), c.csvFormat);
        const Stats reference = measure(repeats, [&] { read(ordinary); });
        std::printf("%s (%.2f MB)\n", c.what, static_cast<double>(c.file.size()) / 1e6);
        print("  read", measure(repeats, [&] { read(c.file); }), nullptr, 100);
        char label[96];
        std::snprintf(
            label, sizeof label, "  the same reader, ordinary %.2f MB", static_cast<double>(ordinary.size()) / 1e6);
        print(label, reference, nullptr, 0);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && std::string(argv[1]) == "--readers") {
        try {
            benchReaders(argc > 2 ? std::max(1, std::atoi(argv[2])) : 5);
        } catch (const std::exception &e) {
            std::fprintf(stderr, "bench_exchange: %s\n", e.what());
            return 1;
        }
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_exchange DIR KVILLO [REPEATS]\n       bench_exchange --readers [REPEATS]\n");
        return 2;
    }
    try {
        const std::string dir = std::string(argv[1]) + "/";
        const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
        const std::string program = dir + "kvillo";
        copyProgram(argv[2], program);
        ::mkdir((dir + "import").c_str(), 0777);
        ::mkdir((dir + "import/database").c_str(), 0777);
        copyProgram(argv[2], dir + "import/kvillo");

        AddressStore store(dir);
        LineList descriptions, mails;
        store.load(ListId::Descriptions, descriptions);
        store.load(ListId::Mails, mails);
        std::printf("book: %zu entries; median of %d runs, warm page cache\n\n", mails.size(), repeats);

        const Stats readBook = measure(repeats, [&] {
            Bytes a, b;
            sys::readFile(store.dataPath(ListId::Descriptions), a);
            sys::readFile(store.dataPath(ListId::Mails), b);
        });
        for (const char *text : {"иванов", "p.ivanov@romashka", "нет-такого-текста", "a"}) {
            const std::string label = std::string("query \"") + text + "\" (process)";
            const Stats s = measure(repeats, [&] { runProgram(program, {"--query", text}); });
            print(label.c_str(), s, &readBook, 150);
        }

        const std::string exported = dir + "export.vcf";
        print("export vcard (process)",
            measure(repeats,
                [&] {
                    runProgram(program, {"--export", "vcard", exported});
                }),
            &readBook, 1500);
        std::string bytes;
        print("  writing the cards alone",
            measure(repeats,
                [&] {
                    bytes.clear();
                    vcard::write(descriptions, mails, bytes);
                }),
            nullptr, 0);
        std::printf("  vCard file: %.1f MB\n", static_cast<double>(bytes.size()) / 1e6);
        print("  the same bytes written atomically alone",
            measure(repeats, [&] { sys::replaceFile(dir + "scratch.vcf", bytes); }), nullptr, 0);
        print("export vcard to standard output (process)",
            measure(repeats,
                [&] {
                    runProgram(program, {"--export", "vcard"});
                }),
            &readBook, 1500);

        // 100 thousand cards from the start of the book, each one different (the import leaves
        // out what it has already), so that all of them are stored.
        LineList someDescriptions, someMails;
        for (std::size_t i = 0; i < 100000 && i < mails.size(); ++i) {
            someDescriptions.append(descriptions[i]);
            someMails.append(std::to_string(i) + "." + std::string(mails[i].empty() ? "none@example.org" : mails[i]));
        }
        std::string cards;
        vcard::write(someDescriptions, someMails, cards);
        const std::string cardsFile = dir + "import.vcf";
        sys::replaceFile(cardsFile, cards);
        const Stats readCards = measure(repeats, [&] { sys::readFile(cardsFile); });
        AddressStore importStore(dir + "import/");
        const auto importCards = [&] {
            importStore.replaceData(ListId::Descriptions, "");
            importStore.replaceData(ListId::Mails, "");
            if (runProgram(dir + "import/kvillo", {"--import", "vcard", cardsFile}) != 0)
                throw std::runtime_error("the import failed");
        };
        // abook's own conversion of the same cards, run in turn with the import when it is there.
        const std::string abook = onPath("abook");
        const std::string converted = dir + "import.abook";
        const auto convertCards = [&] {
            ::unlink(converted.c_str()); // abook does not replace a file
            if (runProgram(abook,
                    {"--convert", "--informat", "vcard", "--infile", cardsFile, "--outformat", "abook", "--outfile",
                        converted})
                != 0)
                throw std::runtime_error("abook failed");
        };
        const std::vector<Stats> imports = abook.empty() ? std::vector<Stats>{measure(repeats, importCards)}
                                                         : measureSideBySide(repeats, {importCards, convertCards});
        print("import 100000 cards (process, with 2 saves)", imports[0], &readCards, 1500);
        if (imports.size() == 2) {
            print("  abook --convert of the same cards (process, in turn)", imports[1], &readCards, 0);
            std::printf("  kvillo / abook: %.2f (CPU %.2f)\n", imports[0].median / imports[1].median,
                imports[0].cpu / imports[1].cpu);
        }
        print("  reading the cards alone", measure(repeats, [&] { vcard::read(sys::readFile(cardsFile), cardsFile); }),
            &readCards, 0);
        std::printf("  cards file: %.1f MB\n", static_cast<double>(cards.size()) / 1e6);
        std::printf("\n");
        benchReaders(repeats);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_exchange: %s\n", e.what());
        return 1;
    }
    return 0;
}
