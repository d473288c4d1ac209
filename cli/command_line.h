#pragma once

namespace kvillo::cli {

// Whether the arguments ask for the command line rather than the window. Qt's own options
// (-session from the session manager, -platform, -style ...) still start the window.
bool wantsCommandLine(int argc, char **argv);

// Runs the command line over the book beside the executable; returns the exit status:
// 0 done (for --query: something found), 1 nothing found by --query or a refused import or
// failed write, 2 a bad argument, a missing or unreadable file, or an unreadable book.
int run(int argc, char **argv);

} // namespace kvillo::cli
