// Runs the built utility as a user or a script would, and the texts it writes.
//
// By default the native build is run. To run the same tests on another
// build, set JQCPT_TEST_UTILITY (the utility on the real library),
// JQCPT_TEST_FAKE_UTILITY (the utility on the test double) and, for a
// Windows build under Wine, JQCPT_TEST_RUNNER (the wine64 program, or
// tests/windows/wine32.sh for the i686 build), which is run with the
// utility's path: paths handed to the utility then go as Z: paths and CRLF
// line ends read as LF.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

struct Session {
    std::string out; // everything written to standard output
    int status;      // exit status, or -1 when it had to be killed
    std::string err; // everything written to standard error
};

// Runs the utility with input on standard input and standard output to a
// pipe. env holds "NAME=value" entries added to the environment. Gives up
// (status -1) after timeoutSeconds.
Session run_utility(const std::string &input, const std::vector<std::string> &env,
                    bool fake = false, int timeoutSeconds = 20);

// Runs the utility on the test double of the library, following plan.
Session run_with_plan(const std::string &input, const std::string &plan);

// Starts the utility (the one on the test double when fake) with standard
// input, output and error on in, out and err (-1: closed), the "NAME=value"
// entries of env added to its environment and SIGPIPE ignored, as a driving
// program may leave it. Under a runner, a launcher (a Windows program's path)
// is run in its place and handed the utility's path. Gives its process ID.
pid_t start_utility(int in, int out, int err, const std::vector<std::string> &env,
                    bool fake = false, const std::string &launcher = "");

// Waits for a started utility: its exit status, or 128 + the signal that ended it.
int wait_utility(pid_t pid);

// The path of the utility's image.
std::string utility_path();

// A path of this machine as the utility sees it.
std::string host_path(const std::string &path);

// What the utility wrote, with CRLF line ends read as LF under a runner
// (where a bare LF is marked, so that it matches no expected text).
std::string native_lines(const std::string &text);

// Writes text to a new temporary file and returns its path.
std::string temp_file(const std::string &text);

// The utility's own texts.
extern const std::string MENU;
extern const std::string PAUSE;
extern const std::string EXIT;
extern const std::string TABLE_HEAD;

// In UTF-8, characters that would drive or reorder the terminal, which the
// console shows in a name as U+FFFD and the library's messages as '?'; then
// three marks that both show as they are.
extern const std::vector<std::string> UNSHOWN;
extern const std::string SHOWN_MARKS;

// What the test double's "bulk N" prints: the lines "0000000" on, N bytes.
std::string bulk_lines(size_t bytes);

// One table row: the ID in 8 columns, the name right-aligned in 30
// places; units is how many it takes, one a UTF-16 unit.
std::string row(long id, const std::string &name, int units);
