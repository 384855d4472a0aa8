#include "harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

const std::string MENU = " CPTD DLL Test Utility \n"
                         "--------------------------------------------\n"
                         "\n\n"
                         " 1. List all the Countries that are supported by CPTD\n"
                         "\n"
                         "99. EXIT \n"
                         " -> ";
const std::string PAUSE = "\n Press enter to continue";
const std::string EXIT = "\n EXIT Selected.";
const std::string TABLE_HEAD = "\n"
                               "   Country ID      Country Name  \n"
                               " --------------------------------\n"
                               "\n";

const std::vector<std::string> UNSHOWN = {
    "\x1b",         "\x7f",         "\xc2\x9b",     "\xe2\x80\xaa", "\xe2\x80\xab", "\xe2\x80\xac",
    "\xe2\x80\xad", "\xe2\x80\xae", "\xe2\x81\xa6", "\xe2\x81\xa7", "\xe2\x81\xa8", "\xe2\x81\xa9",
    "\xe2\x80\xa8", "\xe2\x80\xa9", "\xef\xbf\xbe", "\xef\xbf\xbf"};
const std::string SHOWN_MARKS = "\xe2\x80\x8e\xe2\x80\x8f\xd8\x9c"; // U+200E, U+200F, U+061C

std::string row(long id, const std::string &name, int units)
{
    char number[32];
    snprintf(number, sizeof number, "%8ld", id);
    return number + std::string(units < 30 ? 30 - units : 0, ' ') + name + "\n";
}

std::string bulk_lines(size_t bytes)
{
    std::string lines;
    char line[16];
    for (size_t k = 0; k < bytes / 8; k++)
        lines.append(line, (size_t)snprintf(line, sizeof line, "%07zu\n", k));
    return lines;
}

static const char *setting(const char *name)
{
    const char *value = getenv(name);
    return value && *value ? value : nullptr;
}

std::string utility_path()
{
    const char *path = setting("JQCPT_TEST_UTILITY");
    return path ? path : JQCPTTST_PATH;
}

std::string host_path(const std::string &path)
{
    return setting("JQCPT_TEST_RUNNER") ? "Z:" + path : path;
}

// Replaces the calling process with the utility, through the runner (and the
// launcher) if there is one.
[[noreturn]] static void exec_utility(bool fake, const std::string &launcher)
{
    std::string utility = utility_path();
    if (fake) {
        const char *other = setting("JQCPT_TEST_FAKE_UTILITY");
        if (other)
            utility = other;
        else
            setenv("LD_LIBRARY_PATH", FAKE_LIB_DIR, 1);
    }
    const char *set = setting("JQCPT_TEST_RUNNER");
    const std::string runnerPath = set ? set : "", shown = host_path(utility);
    const char *runner = set ? runnerPath.c_str() : nullptr;
    // The library names the JQCPT_ variables it does not know: not these.
    for (const char *name : {"JQCPT_TEST_UTILITY", "JQCPT_TEST_FAKE_UTILITY", "JQCPT_TEST_RUNNER"})
        unsetenv(name);
    if (runner && !launcher.empty())
        execl(runner, runner, launcher.c_str(), shown.c_str(), (char *)nullptr);
    else if (runner)
        execl(runner, runner, utility.c_str(), (char *)nullptr);
    else
        execl(utility.c_str(), "jqcpttst", (char *)nullptr);
    _exit(127);
}

std::string native_lines(const std::string &text)
{
    if (!setting("JQCPT_TEST_RUNNER"))
        return text;
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += "[LF without CR]"; // Windows writes CR LF: no comparison passes
        out += text[i];
    }
    return out;
}

std::string temp_file(const std::string &text)
{
    char path[] = "/tmp/jqcpt-test-XXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        return "";
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            break;
        done += (size_t)n;
    }
    close(fd);
    return path;
}

pid_t start_utility(int in, int out, int err, const std::vector<std::string> &env, bool fake,
                    const std::string &launcher)
{
    pid_t pid = fork();
    if (pid != 0)
        return pid;
    int fds[] = {in, out, err};
    for (int fd = 0; fd < 3; fd++)
        fds[fd] < 0 ? close(fd) : dup2(fds[fd], fd);
    closefrom(3); // the other ends of the test's pipes stay with the test
    for (const std::string &e : env)
        putenv(const_cast<char *>(e.c_str()));
    signal(SIGPIPE, SIG_IGN);
    exec_utility(fake, launcher);
}

int wait_utility(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Session run_utility(const std::string &input, const std::vector<std::string> &env, bool fake,
                    int timeoutSeconds)
{
    std::string inputPath = temp_file(input), errPath = temp_file("");
    int in = open(inputPath.c_str(), O_RDONLY), err = open(errPath.c_str(), O_RDWR);
    unlink(inputPath.c_str());
    unlink(errPath.c_str());
    int out[2];
    if (in < 0 || err < 0 || pipe(out) != 0)
        return {"", -2, ""};
    pid_t pid = start_utility(in, out[1], err, env, fake);
    close(in);
    close(out[1]);

    Session run{"", -1, ""};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    char buf[65536];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{out[0], POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, (int)left.count()) <= 0) {
            kill(pid, SIGKILL);
            wait_utility(pid);
            close(out[0]);
            close(err);
            return run; // status -1: it did not end in time
        }
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        run.out.append(buf, (size_t)n);
    }
    close(out[0]);
    run.status = wait_utility(pid);
    run.out = native_lines(run.out);
    for (ssize_t n; (n = pread(err, buf, sizeof buf, (off_t)run.err.size())) > 0;)
        run.err.append(buf, (size_t)n);
    close(err);
    run.err = native_lines(run.err);
    return run;
}

Session run_with_plan(const std::string &input, const std::string &plan)
{
    std::string planPath = temp_file(plan);
    Session run = run_utility(input, {"FAKE_JQCPT_PLAN=" + host_path(planPath)}, true);
    unlink(planPath.c_str());
    return run;
}
