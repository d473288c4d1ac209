// bench_data DIR [REPEATS]
//
// Times the address book's file work on the data files under DIR (see generate_book) against what
// the machine itself needs for the same bytes:
//   load  both data files into lists     vs  one read() of each file;
//   save  both lists, atomically         vs  open/write/fsync/close of the same bytes;
//   add   one entry, then save both      (what an Add or an Edit costs at this size).
// The baseline read goes into newly mapped memory, as a program that starts reads into memory it
// has never touched; the figure for heap memory the allocator recycles is printed beside it.
// Each figure is the median of REPEATS runs (default 7). The page cache cannot be dropped without
// privileges, so every file is read once before timing: the load figures are warm-cache figures.
// The data files are rewritten with their own contents; the entries added are removed at the end.

#include "book/address_book.h"
#include "sys/errors.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>
#include <unistd.h>

using namespace kvillo;

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Stats
{
    double median = 0;
    double min = 0;
    double max = 0;
};

// Runs `prepare` (untimed) and `body` (timed) `repeats` times.
Stats measure(int repeats, const std::function<void()> &prepare, const std::function<void()> &body)
{
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        prepare();
        const auto start = Clock::now();
        body();
        times.push_back(millisecondsSince(start));
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front(), times.back()};
}

void fail(const std::string &what)
{
    std::fprintf(stderr, "%s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

// The baseline read: one open and one read() of the whole file. Into newly mapped memory, as a
// program that starts reads into memory it has never touched; or into memory from the heap, which
// the allocator recycles between runs, leaving a bare copy out of the page cache.
std::size_t plainRead(const std::string &path, bool fromHeap = false)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        fail(path);
    struct stat st = {};
    ::fstat(fd, &st);
    const auto size = static_cast<std::size_t>(st.st_size);
    std::unique_ptr<char[]> heap(fromHeap ? new char[size + 1] : nullptr);
    void *block
        = heap ? heap.get() : ::mmap(nullptr, size + 1, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
        fail("mmap");
    const ssize_t n = ::read(fd, block, size);
    ::close(fd);
    if (!heap)
        ::munmap(block, size + 1);
    if (n != static_cast<ssize_t>(size))
        fail(path + ": short read");
    return size;
}

// The baseline write: create, write in one piece, fsync, close.
void plainWrite(const std::string &path, const std::string &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        fail(path);
    if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) || ::fsync(fd) != 0)
        fail(path + ": write");
    ::close(fd);
}

std::string firstLineOf(const char *file, const char *prefix)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0) {
            const auto colon = line.find(':');
            const auto value = line.find_first_not_of(" \t", colon == std::string::npos ? 0 : colon + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    }
    return "?";
}

void printMachine(const std::string &directory)
{
    utsname system{};
    ::uname(&system);
    struct statfs fs = {};
    ::statfs(directory.c_str(), &fs);
    const char *fsName = fs.f_type == 0xEF53 ? "ext2/3/4"
        : fs.f_type == 0x01021994            ? "tmpfs"
        : fs.f_type == 0x58465342            ? "xfs"
        : fs.f_type == 0x9123683E            ? "btrfs"
        : fs.f_type == 0x794C7630            ? "overlayfs"
                                             : "other";
    std::printf("machine: %s, %ld CPUs, %s of RAM, %s %s\n", firstLineOf("/proc/cpuinfo", "model name").c_str(),
        ::sysconf(_SC_NPROCESSORS_ONLN), firstLineOf("/proc/meminfo", "MemTotal").c_str(), system.sysname,
        system.release);
    std::printf("data directory: %s (file system %s, type 0x%lX)\n", directory.c_str(), fsName,
        static_cast<unsigned long>(fs.f_type));
}

void printRow(
    const char *what, std::size_t entries, const Stats &s, const char *baselineName, const Stats *base, double goal)
{
    std::printf("%-5s %zu entries: %8.1f ms (min %.1f, max %.1f)", what, entries, s.median, s.min, s.max);
    if (base != nullptr) {
        const double ratio = s.median / base->median;
        std::printf(" (baseline %s %.1f ms, %.1fx; goal within %.0fx: %s)", baselineName, base->median, ratio, goal,
            ratio <= goal ? "met" : "MISSED");
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s DIR [REPEATS]\n", argv[0]);
        return 2;
    }
    std::string directory = argv[1];
    if (!directory.ends_with('/'))
        directory += '/';
    const int repeats = argc == 3 ? std::max(1, std::atoi(argv[2])) : 7;

    try {
        AddressStore store(directory);
        const std::string descriptionsPath = store.dataPath(ListId::Descriptions);
        const std::string mailsPath = store.dataPath(ListId::Mails);
        printMachine(BookLayout(directory).databaseFolder());

        // Warm the page cache; nothing below reads the disk itself.
        const std::size_t fileBytes = plainRead(descriptionsPath) + plainRead(mailsPath);

        BookLists book;
        store.load(ListId::Mails, book.mails);
        store.load(ListId::Descriptions, book.descriptions);
        const std::size_t entries = std::max(book.mails.size(), book.descriptions.size());
        std::printf("files: %.1f MB in both data files, %zu entries; median of %d runs, warm page cache\n\n",
            fileBytes / 1e6, entries, repeats);

        // (a) Loading.
        const Stats readBase = measure(
            repeats, [] {},
            [&] {
                plainRead(mailsPath);
                plainRead(descriptionsPath);
            });
        std::unique_ptr<BookLists> loaded;
        const Stats load = measure(
            repeats, [&] { loaded.reset(); },
            [&] {
                loaded = std::make_unique<BookLists>();
                store.load(ListId::Mails, loaded->mails);
                store.load(ListId::Descriptions, loaded->descriptions);
            });
        loaded.reset();
        printRow("load", entries, load, "read", &readBase, 3);
        const Stats heapBase = measure(
            repeats, [] {},
            [&] {
                plainRead(mailsPath, true);
                plainRead(descriptionsPath, true);
            });
        std::printf("      (read into recycled heap memory, a bare copy out of the page cache: %.2f ms, %.1fx)\n",
            heapBase.median, load.median / heapBase.median);

        // (b) Saving.
        const std::string descriptionsText = book.descriptions.toText();
        const std::string mailsText = book.mails.toText();
        const std::string scratch1 = directory + "database/.bench-scratch-1";
        const std::string scratch2 = directory + "database/.bench-scratch-2";
        const Stats writeBase = measure(
            repeats,
            [&] {
                ::unlink(scratch1.c_str());
                ::unlink(scratch2.c_str());
            },
            [&] {
                plainWrite(scratch1, descriptionsText);
                plainWrite(scratch2, mailsText);
            });
        ::unlink(scratch1.c_str());
        ::unlink(scratch2.c_str());
        const Stats save = measure(
            repeats, [] {},
            [&] {
                store.save(ListId::Descriptions, book.descriptions);
                store.save(ListId::Mails, book.mails);
            });
        printRow("save", entries, save, "write+fsync", &writeBase, 2);

        // (c) An Add: one more entry, then both files saved (mails first, as the dialog does).
        const Stats add = measure(
            repeats, [] {},
            [&] {
                book.descriptions.append("\xCD\xEE\xE2\xFB\xE9 \xE0\xE4\xF0\xE5\xF1\xE0\xF2 (bench)");
                book.mails.append("new.entry@example.ru");
                store.save(ListId::Mails, book.mails);
                store.save(ListId::Descriptions, book.descriptions);
            });
        printRow("add", entries, add, nullptr, nullptr, 0);

        // Put the files back as they were.
        for (int i = 0; i < repeats; ++i) {
            book.descriptions.remove(book.descriptions.size() - 1);
            book.mails.remove(book.mails.size() - 1);
        }
        store.save(ListId::Descriptions, book.descriptions);
        store.save(ListId::Mails, book.mails);

        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        std::printf("\npeak resident memory: %.0f MB\n", usage.ru_maxrss / 1024.0);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
