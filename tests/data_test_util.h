#pragma once

// Small helpers shared by the data tests: a scratch directory per test and whole-file access that
// does not go through the code under test.

#include "book/address_book.h"
#include "book/address_store.h"
#include "sys/system.h"

#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>

namespace testutil {

// A fresh directory, removed with everything in it when the object goes.
class ScratchDir
{
public:
    ScratchDir() { QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString())); }

    // The directory with a trailing '/', as the application directory is given.
    std::string path() const { return m_dir.path().toStdString() + '/'; }
    std::string path(std::string_view relative) const { return path() + std::string(relative); }

private:
    QTemporaryDir m_dir;
};

inline void writeFile(const std::string &path, std::string_view bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "wb");
    QVERIFY2(file != nullptr, path.c_str());
    QCOMPARE(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    QCOMPARE(std::fclose(file), 0);
}

// The file's bytes, or "<missing>" when it cannot be opened.
inline std::string readFile(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return "<missing>";
    std::string bytes;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        bytes.append(buffer, n);
    std::fclose(file);
    return bytes;
}

inline void makeDir(const std::string &path)
{
    QVERIFY2(::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST, path.c_str());
}

// The names in a directory, without "." and "..".
inline QStringList entries(const std::string &directory)
{
    QStringList names;
    if (DIR *dir = ::opendir(directory.c_str())) {
        while (const dirent *entry = ::readdir(dir)) {
            const QString name = QString::fromUtf8(entry->d_name);
            if (name != QLatin1String(".") && name != QLatin1String(".."))
                names << name;
        }
        ::closedir(dir);
    }
    names.sort();
    return names;
}

// Every entry of a directory with its bytes (a folder, or a file over 1 MiB, by what it is).
inline std::map<std::string, std::string> contentsOf(const std::string &directory)
{
    std::map<std::string, std::string> files;
    for (const QString &name : entries(directory)) {
        const std::string path = directory + '/' + name.toStdString();
        struct stat st
        { };
        ::stat(path.c_str(), &st);
        files[name.toStdString()] = S_ISDIR(st.st_mode) ? "<folder>"
            : st.st_size > (1 << 20)                    ? std::to_string(st.st_size) + " bytes"
                                                        : readFile(path);
    }
    return files;
}

inline QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

// While it lives, the `nth` occurrence of `step` in replacing a file fails with `error` (through
// the system layer's test seam); the steps before and after it run.
class FailingStep
{
public:
    FailingStep(kvillo::sys::Step step, int nth, int error)
    {
        s_step = step;
        s_nth = nth;
        s_error = error;
        kvillo::sys::setStepHook(hook);
    }
    ~FailingStep() { kvillo::sys::setStepHook(nullptr); }
    FailingStep(const FailingStep &) = delete;
    FailingStep &operator=(const FailingStep &) = delete;

private:
    static int hook(kvillo::sys::Step step) { return step == s_step && --s_nth == 0 ? s_error : 0; }

    static inline kvillo::sys::Step s_step = kvillo::sys::Step::Write;
    static inline int s_nth = 0;
    static inline int s_error = 0;
};

// Both lists of the book in the store, as a start reads them.
inline kvillo::BookLists loadBook(kvillo::AddressStore &store)
{
    kvillo::BookLists book;
    store.load(kvillo::ListId::Descriptions, book.descriptions);
    store.load(kvillo::ListId::Mails, book.mails);
    return book;
}

} // namespace testutil
