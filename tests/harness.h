// Runs the built utility as a user or a script would, and the texts it writes.
#pragma once

#include <string>
#include <vector>

struct Session {
    std::string out; // everything written to standard output
    int status;      // exit status, or -1 when it had to be killed
};

// Runs the utility with input on standard input and standard output to a
// pipe. env holds "NAME=value" entries added to the environment. Gives up
// (status -1) after timeoutSeconds.
Session run_utility(const std::string &input, const std::vector<std::string> &env,
                int timeoutSeconds = 20);

// Runs the utility on the test double of the library, following plan.
Session run_with_plan(const std::string &input, const std::string &plan);

// Writes text to a new temporary file and returns its path.
std::string temp_file(const std::string &text);

// The utility's own texts.
extern const std::string MENU;
extern const std::string PAUSE;
extern const std::string EXIT;
extern const std::string TABLE_HEAD;

// One table row: the ID in 8 columns, the name right-aligned in 30
// characters; chars is how many characters the name shows as.
std::string row(long id, const std::string &name, int chars);
