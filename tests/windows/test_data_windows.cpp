// The data core on Windows: where the program's files lie, the system's error texts, the atomic
// replace and its sharing rules, on real files. Run with the folder of the shared line files
// (tests/data) as its argument.

#include "check.h"

#include "book/address_store.h"
#include "book/book_folder.h"
#include "book/line_list.h"
#include "book/scratch_buffer.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include <windows.h>

using namespace kvillo;
namespace fs = std::filesystem;

namespace {

std::string g_vectorDirectory;

std::wstring wide(const std::string &utf8)
{
    return fs::u8path(utf8).wstring();
}

std::string utf8(const fs::path &path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// Removes a folder with everything in it, read-only files and paths past 260 characters too.
void removeTree(const std::wstring &folder)
{
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeTree(path);
            else
                ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(folder.c_str());
}

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class TempDir
{
public:
    TempDir()
    {
        static int counter = 0;
        do {
            m_path = fs::temp_directory_path()
                / ("kvillo-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter));
        } while (!fs::create_directory(m_path));
    }
    ~TempDir() { removeTree(L"\\\\?\\" + m_path.wstring()); }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // The folder with a trailing '\', as the application directory is given.
    std::string path() const { return utf8(m_path) + '\\'; }
    std::string path(const std::string &relative) const { return path() + relative; }

private:
    fs::path m_path;
};

void writeRaw(const std::string &path, std::string_view bytes)
{
    const HANDLE file = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(file != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    CHECK(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CHECK_EQ(written, static_cast<DWORD>(bytes.size()));
    ::CloseHandle(file);
}

// The file's bytes, read past any sharing rule of ours; nullopt when it cannot be opened.
std::optional<std::string> readRaw(const std::string &path)
{
    const HANDLE file = ::CreateFileW(wide(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD n = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0)
        bytes.append(buffer, n);
    ::CloseHandle(file);
    return bytes;
}

std::string contents(const std::string &path)
{
    const auto bytes = readRaw(path);
    if (!bytes)
        check::fail(__FILE__, __LINE__, "cannot read " + path);
    return bytes.value_or("<missing>");
}

void makeDir(const std::string &path)
{
    REQUIRE(::CreateDirectoryW(wide(path).c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
}

// The names in a folder, sorted.
std::vector<std::string> entries(const std::string &directory)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(fs::u8path(directory)))
        names.push_back(utf8(entry.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> names(std::initializer_list<const char *> list)
{
    return std::vector<std::string>(list.begin(), list.end());
}

std::vector<std::string> items(const LineList &list)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < list.size(); ++i)
        out.emplace_back(list[i]);
    return out;
}

LineList listOf(std::initializer_list<std::string_view> lines)
{
    LineList list;
    for (const std::string_view line : lines)
        list.append(line);
    return list;
}

// An address book folder with its database folder.
struct Book
{
    TempDir dir;
    AddressStore store{dir.path()};
    std::string mails = store.dataPath(ListId::Mails);

    Book() { makeDir(dir.path("database")); }
    std::vector<std::string> database() const { return entries(dir.path("database")); }
};

// Another program's handle on a file.
class Holder
{
public:
    Holder(const std::string &path, DWORD access, DWORD share)
        : m_handle(::CreateFileW(wide(path).c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr))
    { }
    ~Holder() { close(); }
    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    void close()
    {
        if (valid())
            ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle;
};

// Wine words the system's error texts differently from Windows; the tests hold each of them to
// its own words.
bool underWine()
{
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string text(const char *windows, const char *wine)
{
    static const bool wine_ = underWine();
    return wine_ ? wine : windows;
}

const std::string kNoFile = text("The system cannot find the file specified", "File not found");
const std::string kNoPath = text("The system cannot find the path specified", "Path not found");
const std::string kDenied = text("Access is denied", "Access denied");
const std::string kInUse
    = text("The process cannot access the file because it is being used by another process", "Sharing violation");
const std::string kDiskFull = text("There is not enough space on the disk", "Disk full");

} // namespace

TEST(applicationDirectoryIsTheExecutablesFolder)
{
    const std::string exe = sys::executablePath();
    const std::string dir = applicationDirectory();
    REQUIRE(dir.size() > 3);
    CHECK_EQ(dir.back(), '\\');
    CHECK(dir[1] == ':' || dir.rfind("\\\\", 0) == 0);
    CHECK_EQ(exe.substr(0, dir.size()), dir);
    std::string name = exe.substr(dir.size());
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    CHECK_EQ(name, std::string("test_data_windows.exe"));
    CHECK(sys::kindOf(exe) == sys::Kind::File);
    CHECK(sys::kindOf(dir) == sys::Kind::Directory);

    const AddressStore store(dir);
    CHECK_EQ(store.dataPath(ListId::Mails), dir + "database\\mails.dat");
    CHECK_EQ(store.dataPath(ListId::Descriptions), dir + "database\\descriptions.dat");
    CHECK_EQ(store.settingsPath(), dir + "config\\config.ini");
}

// The same files as the Linux test reads, with the same expected bytes.
TEST(sharedVectors)
{
    std::vector<std::string> vectors;
    for (const auto &entry : fs::directory_iterator(fs::u8path(g_vectorDirectory))) {
        if (entry.path().extension() == ".dat")
            vectors.push_back(utf8(entry.path().stem()));
    }
    CHECK(vectors.size() >= 10);
    const std::string base = g_vectorDirectory + '\\';
    for (const std::string &name : vectors) {
        Book book;
        const std::string saved = contents(base + name + ".saved");
        writeRaw(book.mails, contents(base + name + ".dat"));
        LineList list;
        book.store.load(ListId::Mails, list);
        book.store.save(ListId::Mails, list);
        if (!CHECK_EQ(contents(book.mails), saved))
            std::printf("    in %s\n", name.c_str());
        book.store.load(ListId::Mails, list);
        book.store.save(ListId::Mails, list);
        if (!CHECK_EQ(contents(book.mails), saved))
            std::printf("    read back in %s\n", name.c_str());

        ScratchBuffer memo;
        memo.loadFromFile(base + name + ".dat");
        memo.saveToFile(book.dir.path("copy.bak"));
        if (!CHECK_EQ(contents(book.dir.path("copy.bak")), contents(base + name + ".memo")))
            std::printf("    scratch buffer of %s\n", name.c_str());
    }
}

TEST(saveAndLoadRoundTrip)
{
    Book book;
    const LineList list = listOf({"", "\xC8\xE2\xE0\xED", "a@b.c", "", "tab\there", ""});
    book.store.save(ListId::Mails, list);
    CHECK_EQ(contents(book.mails), std::string("\r\n\xC8\xE2\xE0\xED\r\na@b.c\r\n\r\ntab\there\r\n\r\n"));
    CHECK_EQ(book.database(), names({"mails.dat"}));

    LineList again;
    book.store.load(ListId::Mails, again);
    CHECK_EQ(items(again), items(list));

    // An empty list is an empty file.
    book.store.save(ListId::Mails, LineList());
    CHECK_EQ(contents(book.mails), std::string());
    CHECK_EQ(book.database(), names({"mails.dat"}));
}

TEST(largeBlocksAndLargeFiles)
{
    // Blocks from 4 MiB up come from the system; every page must be usable and go back.
    for (const std::size_t size : {std::size_t(100), std::size_t(4) << 20, std::size_t(24) << 20}) {
        auto *block = static_cast<unsigned char *>(sys::allocate(size));
        REQUIRE(block != nullptr);
        std::fill(block, block + size, static_cast<unsigned char>(0xA5));
        CHECK_EQ(int(block[0]) + int(block[size - 1]), 2 * 0xA5);
        sys::release(block, size);
    }

    Book book;
    std::string big;
    for (int i = 0; big.size() < (12u << 20); ++i)
        big += "user" + std::to_string(i) + "@example.org\r\n";
    sys::replaceFile(book.mails, big);
    Bytes bytes;
    sys::readFile(book.mails, bytes);
    CHECK(std::string_view(bytes.data(), bytes.size()) == big);
    CHECK_EQ(sys::readFile(book.mails, 10), big.substr(0, 10));

    LineList list;
    book.store.load(ListId::Mails, list);
    CHECK_EQ(std::string(list[list.size() - 1]), "user" + std::to_string(list.size() - 1) + "@example.org");
    book.store.save(ListId::Mails, list);
    CHECK(contents(book.mails) == big);
}

TEST(errorTextsOfTheSystem)
{
    CHECK_EQ(sys::errorText(ERROR_FILE_NOT_FOUND), kNoFile);
    CHECK_EQ(sys::errorText(ERROR_ACCESS_DENIED), kDenied);
    for (const DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_SHARING_VIOLATION, ERROR_DISK_FULL,
             ERROR_WRITE_PROTECT, ERROR_INVALID_NAME}) {
        const std::string text = sys::errorText(static_cast<int>(code));
        CHECK(!text.empty());
        const unsigned char last = text.empty() ? 0 : text.back();
        CHECK(last > ' ' && last != '.');
    }
    // A code the system has no text for still says which error it was.
    CHECK_EQ(sys::errorText(0x2000FFFF), std::string("System error 536936447"));
}

TEST(missingFilesAndFolders)
{
    Book book;
    LineList list = listOf({"kept"});
    CHECK_THROWS_MESSAGE(
        FileOpenError, book.store.load(ListId::Mails, list), "Cannot open file \"" + book.mails + "\". " + kNoFile);
    CHECK_EQ(items(list), names({"kept"}));

    TempDir bare;
    AddressStore store(bare.path());
    const std::string path = bare.path("database\\mails.dat");
    CHECK_THROWS_MESSAGE(
        FileOpenError, store.load(ListId::Mails, list), "Cannot open file \"" + path + "\". " + kNoPath);
    CHECK_THROWS_MESSAGE(
        FileCreateError, store.save(ListId::Mails, list), "Cannot create file \"" + path + "\". " + kNoPath);
    // The program never makes the folder itself.
    CHECK_EQ(entries(bare.path()), names({}));
}

TEST(readOnlyTargetIsRefusedAndKept)
{
    Book book;
    writeRaw(book.mails, "old\r\n");
    REQUIRE(::SetFileAttributesW(wide(book.mails).c_str(), FILE_ATTRIBUTE_READONLY));
    LineList list;
    book.store.load(ListId::Mails, list);
    CHECK_EQ(items(list), names({"old"}));
    CHECK_THROWS_MESSAGE(FileCreateError, book.store.save(ListId::Mails, listOf({"new"})),
        "Cannot create file \"" + book.mails + "\". " + kDenied);
    CHECK_EQ(contents(book.mails), std::string("old\r\n"));
    CHECK(::GetFileAttributesW(wide(book.mails).c_str()) & FILE_ATTRIBUTE_READONLY);
    CHECK_EQ(book.database(), names({"mails.dat"}));
}

TEST(directoryTargetIsRefused)
{
    Book book;
    makeDir(book.mails);
    LineList list;
    CHECK_THROWS_MESSAGE(
        FileOpenError, book.store.load(ListId::Mails, list), "Cannot open file \"" + book.mails + "\". " + kDenied);
    CHECK_THROWS_MESSAGE(FileCreateError, sys::replaceFile(book.mails, "new\r\n"),
        "Cannot create file \"" + book.mails + "\". " + kDenied);
    CHECK(sys::kindOf(book.mails) == sys::Kind::Directory);
    CHECK_EQ(book.database(), names({"mails.dat"}));
}

namespace {
std::vector<sys::Step> g_steps;
sys::Step g_failAt;
int g_failWith = 0;
int g_failNth = 0; // which occurrence of the step fails; 0: every one
int g_occurrences = 0;
std::string g_watchedDirectory;
std::vector<std::string> g_seenDuringWrite;
DWORD g_openTemporaryError = 0;

int recordStep(sys::Step step)
{
    g_steps.push_back(step);
    if (step == sys::Step::Write && !g_watchedDirectory.empty()) {
        // The file being written lies beside the target, and nobody else may open it meanwhile.
        g_seenDuringWrite = entries(g_watchedDirectory);
        for (const std::string &name : g_seenDuringWrite) {
            if (name.rfind(".kvillo-save-", 0) != 0)
                continue;
            Holder other(
                g_watchedDirectory + name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
            g_openTemporaryError = other.valid() ? 0 : ::GetLastError();
        }
    }
    if (step != g_failAt || g_failWith == 0)
        return 0;
    return g_failNth == 0 || ++g_occurrences == g_failNth ? g_failWith : 0;
}

struct HookScope
{
    HookScope()
    {
        g_steps.clear();
        g_failWith = 0;
        g_failNth = 0;
        g_occurrences = 0;
        g_watchedDirectory.clear();
        sys::setStepHook(recordStep);
    }
    ~HookScope() { sys::setStepHook(nullptr); }
};
} // namespace

TEST(stepsOfASave)
{
    Book book;
    writeRaw(book.mails, "old\r\n");
    HookScope hook;
    g_watchedDirectory = book.dir.path("database\\");
    g_openTemporaryError = 0;
    sys::replaceFile(book.mails, "new\r\n");
    CHECK(g_steps == std::vector<sys::Step>({sys::Step::Write, sys::Step::Sync, sys::Step::Rename}));
    CHECK_EQ(g_seenDuringWrite.size(), std::size_t(2));
    CHECK_EQ(g_openTemporaryError, DWORD(ERROR_SHARING_VIOLATION));
    CHECK_EQ(contents(book.mails), std::string("new\r\n"));
    CHECK_EQ(book.database(), names({"mails.dat"}));
}

TEST(leftoversOfCrashedSavesGo)
{
    Book book;
    const std::string database = book.dir.path("database\\");
    writeRaw(database + ".kvillo-save-a1b2c3", "left by a crash");
    writeRaw(database + ".kvillo-save-x", "not ours");
    writeRaw(database + "notes.txt", "the user's");
    writeRaw(database + ".kvillo-save-d4e5f6", "being written");
    // Another running save holds its file as a save does: opened and shared with nobody.
    const HANDLE running = ::CreateFileW(
        wide(database + ".kvillo-save-d4e5f6").c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(running != INVALID_HANDLE_VALUE);
    book.store.save(ListId::Mails, listOf({"new"}));
    ::CloseHandle(running);
    CHECK_EQ(book.database(), names({".kvillo-save-d4e5f6", ".kvillo-save-x", "mails.dat", "notes.txt"}));

    // A folder of the user's choosing (a backup's) is no book's: nothing in it but the file goes.
    makeDir(book.dir.path("copies"));
    writeRaw(book.dir.path("copies\\.kvillo-save-a1b2c3"), "someone's");
    sys::replaceFile(book.dir.path("copies\\x.bak"), "new\r\n");
    CHECK_EQ(entries(book.dir.path("copies")), names({".kvillo-save-a1b2c3", "x.bak"}));
}

TEST(failedStepKeepsTheOldFile)
{
    for (const sys::Step step : {sys::Step::Write, sys::Step::Sync, sys::Step::Rename}) {
        Book book;
        writeRaw(book.mails, "old\r\n");
        HookScope hook;
        g_failAt = step;
        g_failWith = ERROR_DISK_FULL;
        if (step == sys::Step::Rename)
            CHECK_THROWS_MESSAGE(FileCreateError, sys::replaceFile(book.mails, "new\r\n"),
                "Cannot create file \"" + book.mails + "\". " + kDiskFull);
        else
            CHECK_THROWS_MESSAGE(StreamWriteError, sys::replaceFile(book.mails, "new\r\n"), "Stream write error");
        CHECK_EQ(contents(book.mails), std::string("old\r\n"));
        CHECK_EQ(book.database(), names({"mails.dat"}));
    }
}

TEST(loadSharesReadingOnly)
{
    Book book;
    writeRaw(book.mails, "a\r\nb\r\n");
    LineList list;
    {
        // Another reader does not stop a load.
        Holder reader(book.mails, GENERIC_READ, FILE_SHARE_READ);
        REQUIRE(reader.valid());
        book.store.load(ListId::Mails, list);
        CHECK_EQ(items(list), names({"a", "b"}));
    }
    {
        // A writer does, even one that lets everybody in.
        Holder writer(book.mails, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
        REQUIRE(writer.valid());
        list = listOf({"kept"});
        CHECK_THROWS_MESSAGE(
            FileOpenError, book.store.load(ListId::Mails, list), "Cannot open file \"" + book.mails + "\". " + kInUse);
        CHECK_EQ(items(list), names({"kept"}));
    }
}

TEST(saveWaitsBrieflyForAnotherProgram)
{
    Book book;
    writeRaw(book.mails, "old\r\n");
    {
        // Held all along: the save gives up after about a second and leaves everything as it was.
        Holder holder(book.mails, GENERIC_READ, FILE_SHARE_READ);
        REQUIRE(holder.valid());
        const auto start = std::chrono::steady_clock::now();
        try {
            sys::replaceFile(book.mails, "new\r\n");
            check::fail(__FILE__, __LINE__, "the save replaced a file another program holds");
        } catch (const FileCreateError &error) {
            const std::string message = error.what();
            CHECK_EQ(message.substr(0, book.mails.size() + 23), "Cannot create file \"" + book.mails + "\". ");
        }
        const auto waited = std::chrono::steady_clock::now() - start;
        CHECK(waited >= std::chrono::milliseconds(500));
        CHECK(waited < std::chrono::seconds(5));
        CHECK_EQ(contents(book.mails), std::string("old\r\n"));
        CHECK_EQ(book.database(), names({"mails.dat"}));
    }
    {
        // Let go after a moment: the save goes through.
        Holder holder(book.mails, GENERIC_READ, FILE_SHARE_READ);
        REQUIRE(holder.valid());
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            holder.close();
        });
        bool saved = true;
        try {
            sys::replaceFile(book.mails, "new\r\n");
        } catch (const FileCreateError &) {
            saved = false;
        }
        release.join();
        CHECK(saved);
        CHECK_EQ(contents(book.mails), std::string("new\r\n"));
        CHECK_EQ(book.database(), names({"mails.dat"}));
    }
}

TEST(attributesOfTheTargetStay)
{
    Book book;
    writeRaw(book.mails, "old\r\n");
    REQUIRE(::SetFileAttributesW(wide(book.mails).c_str(), FILE_ATTRIBUTE_HIDDEN));
    sys::replaceFile(book.mails, "new\r\n");
    const DWORD attributes = ::GetFileAttributesW(wide(book.mails).c_str());
    CHECK(attributes & FILE_ATTRIBUTE_HIDDEN);
    CHECK(!(attributes & FILE_ATTRIBUTE_READONLY));
    CHECK_EQ(contents(book.mails), std::string("new\r\n"));
}

TEST(pathsWithForwardSlashesAndAnyCharacters)
{
    TempDir dir;
    // "Адреса Ωμέγα 地址": letters from outside the ANSI code page too.
    const std::string folder = dir.path("\xD0\x90\xD0\xB4\xD1\x80\xD0\xB5\xD1\x81\xD0\xB0 "
                                        "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE5\x9C\xB0\xE5\x9D\x80");
    makeDir(folder);
    std::string slashed = folder + "/mails.dat";
    sys::replaceFile(slashed, "x\r\n");
    CHECK_EQ(entries(folder), names({"mails.dat"}));
    CHECK_EQ(sys::readFile(slashed), std::string("x\r\n"));
    CHECK(sys::kindOf(folder) == sys::Kind::Directory);

    const std::string missing = folder + "\\missing.dat";
    CHECK_THROWS_MESSAGE(FileOpenError, sys::readFile(missing), "Cannot open file \"" + missing + "\". " + kNoFile);

    // Deeper than the classic 260-character limit.
    std::string deep = folder;
    while (deep.size() < 300) {
        deep += "\\folder-of-forty-characters-of-name-ok";
        REQUIRE(::CreateDirectoryW((L"\\\\?\\" + wide(deep)).c_str(), nullptr));
    }
    const std::string file = deep + "\\mails.dat";
    sys::replaceFile(file, "deep\r\n");
    sys::replaceFile(file, "deeper\r\n");
    CHECK_EQ(sys::readFile(file), std::string("deeper\r\n"));
    CHECK(sys::kindOf(file) == sys::Kind::File);
}

TEST(kindsAndRenames)
{
    TempDir dir;
    const std::string a = dir.path("a.dat");
    const std::string b = dir.path("b.dat");
    CHECK(sys::kindOf(a) == sys::Kind::Missing);
    writeRaw(a, "a");
    writeRaw(b, "b");
    CHECK(sys::kindOf(a) == sys::Kind::File);

    // A rename never replaces a file that is there.
    const auto renameError = [](const std::string &from, const std::string &to) {
        try {
            sys::renamePath(from, to);
            return 0;
        } catch (const PathError &e) {
            return e.systemCode();
        }
    };
    CHECK_EQ(renameError(a, b), int(ERROR_ALREADY_EXISTS));
    CHECK_EQ(contents(a) + contents(b), std::string("ab"));

    CHECK_EQ(renameError(a, dir.path("c.dat")), 0);
    CHECK_EQ(entries(dir.path()), names({"b.dat", "c.dat"}));
    CHECK_EQ(renameError(a, dir.path("d.dat")), int(ERROR_FILE_NOT_FOUND));
}

TEST(unloadedFileIsMovedAside)
{
    Book book;
    writeRaw(book.mails, "user's\r\n");
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    const std::string stamp = sys::localTimestamp();
    REQUIRE(stamp.size() == 15);
    CHECK_EQ(stamp[8], '-');
    CHECK_EQ(stamp.substr(0, 4), std::to_string(now.wYear));

    book.store.save(ListId::Mails, listOf({"new"}));
    const std::vector<std::string> files = book.database();
    REQUIRE(files.size() == 2);
    CHECK_EQ(files[0], std::string("mails.dat"));
    CHECK_EQ(files[1].substr(0, 19), std::string("mails.dat.unloaded-"));
    CHECK_EQ(contents(book.dir.path("database\\" + files[1])), std::string("user's\r\n"));
    CHECK_EQ(contents(book.mails), std::string("new\r\n"));
}

// The two data files as one commit: both written, or neither; a commit cut short after its record
// is completed by the next start.
TEST(pairCommitsWhole)
{
    Book book;
    const std::string descriptions = book.store.dataPath(ListId::Descriptions);
    writeRaw(descriptions, "old\r\n");
    writeRaw(book.mails, "old@example.org\r\n");
    LineList loaded;
    book.store.load(ListId::Descriptions, loaded);
    book.store.load(ListId::Mails, loaded);

    {
        // The second file cannot be written: neither is replaced.
        HookScope hook;
        g_failAt = sys::Step::Sync;
        g_failWith = ERROR_DISK_FULL;
        g_failNth = 2;
        CHECK_THROWS_MESSAGE(
            StreamWriteError, book.store.savePair(listOf({"new"}), listOf({"new@example.org"})), "Stream write error");
    }
    CHECK_EQ(contents(descriptions), std::string("old\r\n"));
    CHECK_EQ(contents(book.mails), std::string("old@example.org\r\n"));
    CHECK_EQ(book.database(), names({"descriptions.dat", "mails.dat"}));

    {
        // The second rename fails after the first went through: the save is made all the same (its
        // record is in place), and completed at once.
        HookScope hook;
        g_failAt = sys::Step::Rename;
        g_failWith = ERROR_DISK_FULL;
        g_failNth = 3;
        book.store.savePair(listOf({"new"}), listOf({"new@example.org"}));
    }
    CHECK_EQ(contents(book.mails), std::string("new@example.org\r\n"));
    CHECK_EQ(book.database(), names({"descriptions.dat", "mails.dat"}));
    AddressStore next(book.dir.path());
    LineList mails;
    next.load(ListId::Descriptions, loaded);
    next.load(ListId::Mails, mails);
    CHECK(items(mails) == names({"new@example.org"}));
    CHECK_EQ(contents(descriptions), std::string("new\r\n"));
    CHECK_EQ(book.database(), names({"descriptions.dat", "mails.dat"}));

    next.replacePair(std::string_view("restored\r\n"), std::nullopt);
    CHECK_EQ(contents(descriptions), std::string("restored\r\n"));
    CHECK_EQ(book.database(), names({"descriptions.dat", "mails.dat"}));
}

TEST(bookLockKeepsASecondHolderOutAndNamesTheFirst)
{
    TempDir dir;
    const std::string lock = dir.path(".kvillo.lock");
    {
        sys::FolderLock first(dir.path());
        CHECK(first.state() == sys::FolderLock::State::Held);
        // Another handle, even of the same process, finds it busy and reads who holds it.
        sys::FolderLock second(dir.path());
        CHECK(second.state() == sys::FolderLock::State::Busy);
        const sys::LockHolder holder = second.holder();
        CHECK_EQ(holder.process, std::to_string(::GetCurrentProcessId()));
        CHECK_EQ(holder.host, sys::hostName());
        CHECK(holder.kind == sys::LockHolder::Kind::ThisUser);
        CHECK(contents(lock).find("started=") != std::string::npos);
        // The lock file stays with the lock: it can be neither deleted nor renamed away.
        CHECK(!::DeleteFileW(wide(lock).c_str()));
        CHECK(!::MoveFileW(wide(lock).c_str(), wide(dir.path("moved")).c_str()));
        // A holder that names another computer is no program of ours to ask.
        const std::string_view other = "host=elsewhere\npid=7\nuser=someone\n";
        const HANDLE file = ::CreateFileW(
            wide(lock).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD written = 0;
        CHECK(file != INVALID_HANDLE_VALUE && ::WriteFile(file, other.data(), DWORD(other.size()), &written, nullptr));
        ::CloseHandle(file);
        CHECK(second.holder().kind == sys::LockHolder::Kind::Elsewhere);
    }
    // Nobody holds it now, whatever it says: the next one takes it.
    writeRaw(lock, "host=elsewhere\npid=1\nuser=someone\nstarted=20000101-000000\n");
    sys::FolderLock next(dir.path());
    CHECK(next.state() == sys::FolderLock::State::Held);
    CHECK(contents(lock).find("host=elsewhere") == std::string::npos);

    // No folder to hold a lock in: nothing to take, nothing made.
    sys::FolderLock nowhere(dir.path("missing\\"));
    CHECK(nowhere.state() == sys::FolderLock::State::Unavailable);
}

TEST(folderIdentityFollowsTheFolderNotItsName)
{
    TempDir dir;
    makeDir(dir.path("book"));
    const std::string identity = sys::folderIdentity(dir.path("book"));
    CHECK(!identity.empty());
    CHECK_EQ(sys::folderIdentity(dir.path("book\\")), identity);
    CHECK_EQ(sys::folderIdentity(dir.path() + "book/../book"), identity);
    sys::renamePath(dir.path("book"), dir.path("moved"));
    CHECK_EQ(sys::folderIdentity(dir.path("moved")), identity);
    makeDir(dir.path("book"));
    CHECK(sys::folderIdentity(dir.path("book")) != identity);
    CHECK(sys::folderIdentity(dir.path("nothing")).empty());
}

// The channel's client end on a named pipe, as a running program listens on Windows: it reaches
// a listener of this user, sends, reads the answer's line, and gives up on a silent one at its
// deadline; nobody listening is no connection.
TEST(localConnectionOverANamedPipe)
{
    const std::string name = "kvillo-test-" + std::to_string(::GetCurrentProcessId());
    CHECK(!sys::LocalConnection(name, std::chrono::milliseconds(50)).connected());
    const HANDLE pipe = ::CreateNamedPipeA(("\\\\.\\pipe\\" + name).c_str(), PIPE_ACCESS_DUPLEX,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    REQUIRE(pipe != INVALID_HANDLE_VALUE);
    std::string received;
    std::thread holder([&] {
        ::ConnectNamedPipe(pipe, nullptr);
        char buffer[64];
        DWORD got = 0;
        while (received.find('\n') == std::string::npos && ::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr))
            received.append(buffer, got);
        DWORD written = 0;
        ::WriteFile(pipe, "shown\n", 6, &written, nullptr);
        ::Sleep(1000); // then silent: the client's second wait ends at its deadline
        ::DisconnectNamedPipe(pipe);
    });
    {
        sys::LocalConnection connection(name, std::chrono::milliseconds(2000));
        CHECK(connection.connected());
        CHECK(sys::peerIsThisUser(connection.handle()));
        const auto in = [](int ms) { return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms); };
        CHECK(connection.send("show\n", in(2000)));
        CHECK_EQ(connection.receiveLine(in(2000)), std::string("shown\n"));
        const auto start = std::chrono::steady_clock::now();
        CHECK_EQ(connection.receiveLine(in(200)), std::string());
        CHECK(std::chrono::steady_clock::now() - start < std::chrono::milliseconds(900));
    }
    holder.join();
    ::CloseHandle(pipe);
    CHECK_EQ(received, std::string("show\n"));
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::printf("usage: test_data_windows FOLDER-OF-SHARED-LINE-FILES\n");
        return 2;
    }
    g_vectorDirectory = argv[1];
    while (!g_vectorDirectory.empty() && (g_vectorDirectory.back() == '\\' || g_vectorDirectory.back() == '/'))
        g_vectorDirectory.pop_back();
    return check::runAll();
}
