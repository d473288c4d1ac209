#include "cli/command_line.h"
#include "sys/errors.h"
#include "sys/system.h"

#include <cstdio>
#include <exception>
#include <string>

namespace {

// The window, with Qt and all it loads, is a library of its own beside the executable: a mail
// program's query or an import starts only what the command line needs.
constexpr const char *kWindowLibrary = KVILLO_WINDOW_LIBRARY;

} // namespace

int main(int argc, char *argv[])
{
    // With arguments it is the command line: no application object, so no display is needed.
    if (kvillo::cli::wantsCommandLine(argc, argv))
        return kvillo::cli::run(argc, argv);

    using WindowMain = int (*)(int, char *[]);
    WindowMain windowMain = nullptr;
    try {
        // Only from beside the executable: a bare name would send the loader searching its paths.
        const std::string executable = kvillo::sys::executablePath();
        const std::size_t folderEnd = executable.rfind(kvillo::sys::pathSeparator);
        if (folderEnd == std::string::npos)
            throw kvillo::Error("не удалось узнать, где лежит программа");
        const std::string library = executable.substr(0, folderEnd + 1) + kWindowLibrary;
        windowMain = reinterpret_cast<WindowMain>(kvillo::sys::libraryFunction(library, "kvillo_window_main"));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kvillo: не удалось загрузить окно программы: %s\n", e.what());
        return 1;
    }
    return windowMain(argc, argv);
}
