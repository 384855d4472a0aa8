// The utility used interactively: in a pseudo-terminal as a person sees it,
// and through pipes as a driving program sees it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "harness.h"

namespace
{

const std::string CLEAR = "\033[H\033[2J";

// The running utility and what it has shown.
struct Terminal {
    int fd = -1;   // what the utility writes arrives here
    int keys = -1; // what is typed goes here
    pid_t pid = -1;
    std::string screen; // everything shown so far

    // Reads until text appears after position from; false if it does not within 10 s.
    bool wait_for(const std::string &text, size_t from = 0)
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (screen.find(text, from) == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, (int)left.count()) <= 0)
                return false;
            char buf[4096];
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                return false;
            screen.append(buf, (size_t)n);
        }
        return true;
    }

    void type(const std::string &text)
    {
        ASSERT_EQ(write(keys, text.data(), text.size()), (ssize_t)text.size());
    }

    int finish()
    {
        char buf[4096];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0)
            screen.append(buf, (size_t)n); // until the program closes its side
        return wait_utility(pid);
    }
};

size_t count(const std::string &s, const std::string &what)
{
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
        n++;
    return n;
}

TEST(Terminal, ClearsBeforeEachMenuAndShowsEachPromptBeforeWaiting)
{
    Terminal t;
    int side;
    if (openpty(&t.fd, &side, nullptr, nullptr, nullptr) != 0)
        GTEST_SKIP() << "no pseudo-terminal here (openpty: " << strerror(errno)
                     << "); a container needs /dev/pts mounted for this test";
    t.pid = start_utility(side, side, side, {"JQCPT_COUNTRY_FILE="}); // the shipped file
    ASSERT_GE(t.pid, 0);
    close(side);
    t.keys = t.fd;

    // The prompt must be on screen while the program waits: nothing is typed before.
    ASSERT_TRUE(t.wait_for(" -> ")) << t.screen;
    EXPECT_EQ(t.screen.rfind(CLEAR + " CPTD DLL Test Utility \r\n", 0), 0u) << t.screen;

    size_t mark = t.screen.size();
    t.type("1 \r"); // a blank after the 1 must not end the pause
    ASSERT_TRUE(t.wait_for("\r\n Press enter to continue", mark)) << t.screen;
    EXPECT_NE(t.screen.find("     384                 C\xc3\xb4te d'Ivoire\r\n", mark),
              std::string::npos);
    EXPECT_EQ(t.screen.find(CLEAR, mark), std::string::npos) << "report cleared away";

    mark = t.screen.size();
    t.type("\r"); // one more Enter is enough
    ASSERT_TRUE(t.wait_for(" -> ", mark)) << t.screen;
    // Only the echo of Enter comes before the cleared screen and the menu.
    EXPECT_EQ(t.screen.find(CLEAR + " CPTD DLL Test Utility ", mark), mark + 2) << t.screen;

    mark = t.screen.size();
    t.type("7\r");
    ASSERT_TRUE(t.wait_for(" -> ", mark)) << t.screen;

    t.type("99\r");
    ASSERT_TRUE(t.wait_for("\r\n EXIT Selected.")) << t.screen;
    EXPECT_EQ(t.finish(), 0);
    EXPECT_EQ(count(t.screen, CLEAR), 3u);
    // The shell's prompt will start a line of its own.
    EXPECT_EQ(t.screen.size() - t.screen.rfind("\r\n EXIT Selected.\r\n"), 19u);
}

TEST(Pipes, EachPromptIsFlushedBeforeWaiting)
{
    int toChild[2], fromChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(fromChild), 0);
    Terminal t;
    t.pid = start_utility(toChild[0], fromChild[1], 2, {});
    ASSERT_GE(t.pid, 0);
    close(toChild[0]);
    close(fromChild[1]);
    t.fd = fromChild[0];
    t.keys = toChild[1];

    // Enter typed as CR alone, as some drivers send it: each CR is a line
    // end at once, with no LF waited for.
    ASSERT_TRUE(t.wait_for(" -> ")) << t.screen;
    t.type("1\r");
    ASSERT_TRUE(t.wait_for("\n Press enter to continue")) << t.screen;
    size_t mark = t.screen.size();
    t.type("\r");
    ASSERT_TRUE(t.wait_for(" -> ", mark)) << t.screen;
    t.type("99\n");
    close(t.keys);
    EXPECT_EQ(t.finish(), 0);
    EXPECT_EQ(t.screen.find("\033"), std::string::npos);
    EXPECT_EQ(t.screen.size() - t.screen.rfind("\n EXIT Selected."), 16u);
}

// Runs the utility on the test double following plan, with standard input
// and output on in and out (-1: closed), through launcher under a runner.
// meanwhile runs while it does.
// Gives the exit status and what it wrote on standard error.
std::pair<int, std::string> run_on(
    int in, int out, const std::string &plan, const std::function<void()> &meanwhile = [] {},
    const std::string &launcher = "")
{
    std::string planPath = temp_file(plan);
    int err[2];
    if (pipe(err) != 0)
        return {-2, ""};
    pid_t pid =
        start_utility(in, out, err[1], {"FAKE_JQCPT_PLAN=" + host_path(planPath)}, true, launcher);
    close(err[1]);
    meanwhile();
    std::string said;
    char buf[512];
    for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;)
        said.append(buf, (size_t)n);
    close(err[0]);
    int status = wait_utility(pid);
    unlink(planPath.c_str());
    return {status, said};
}

TEST(Pipes, AFailedStreamEndsTheProgramWithStatusTwoAndTheReason)
{
    std::string input = temp_file("1\n\n99\n");
    int keys = open(input.c_str(), O_RDONLY);
    int full = open("/dev/full", O_WRONLY);
    int null = open("/dev/null", O_WRONLY);
    int dir = open("/", O_RDONLY | O_DIRECTORY);
    int gone[2];
    ASSERT_EQ(pipe(gone), 0);
    close(gone[0]); // nobody reads
    struct {
        int in, out;
        std::string said;
    } cases[] = {
        {keys, full, "jqcpttst: standard output: No space left on device\n"},
        {keys, -1, "jqcpttst: standard output: Bad file descriptor\n"},
        {keys, gone[1], "jqcpttst: standard output: Broken pipe\n"},
        {dir, null, "jqcpttst: standard input: Is a directory\n"},
    };
    for (const auto &c : cases) {
        if (c.in == dir && getenv("JQCPT_TEST_RUNNER"))
            continue; // Windows gives no reason for reading a folder
        lseek(keys, 0, SEEK_SET);
        auto [status, said] = run_on(c.in, c.out, "call 0 1\nrow 4 Iraq\n");
        EXPECT_EQ(native_lines(said), c.said);
        EXPECT_EQ(status, 2) << c.said;
    }
    for (int fd : {keys, full, null, dir, gone[1]})
        close(fd);
    unlink(input.c_str());
}

TEST(Pipes, NonBlockingStreamsAreWaitedForAndLoseNothing)
{
    // On Windows the utility's own pipes are PIPE_NOWAIT ones: a read of an
    // empty one fails, a write to a full one moves nothing.
    std::string launcher;
    if (const char *fake = getenv("JQCPT_TEST_FAKE_UTILITY"); fake && getenv("JQCPT_TEST_RUNNER"))
        launcher = std::string(fake, strrchr(fake, '/') + 1) + "nowait_pipes.exe";

    std::string rows, bulk = bulk_lines(200000);
    for (int k = 0; k < 100; k++)
        rows += row(k, "Country " + std::to_string(k), k < 10 ? 9 : 10);
    // The library prints too, more than the pipe takes at once: through
    // stdout's buffer, then 200,000 bytes through a 1 MiB buffer of its own;
    // or, in a run of its own (a stream's orientation is for good), as two
    // lines of wide text.
    const std::string printed(3000, 'p'), wide = std::string(3000, 'w') + "\n";
    for (bool wideRun : {false, true}) {
        std::string expected, typed;
        for (int n = 0; n < 20; n++) {
            expected += MENU +
                        (wideRun  ? wide + wide
                         : n == 0 ? printed + "\n"
                                  : bulk) +
                        TABLE_HEAD + rows + PAUSE;
            typed += "1\n\n";
        }
        expected += MENU + EXIT;
        typed += "99\n";
        const std::string plan =
            wideRun ? "call 0 100\nwprint " + wide + "wprint " + wide + "fill 100\n"
                    : "call 0 100\nprint " + printed + "\nfill 100\n" +
                          "call 0 100\nbuffer full\nbulk 200000\nfill 100\n";

        int keys[2], shown[2];
        ASSERT_EQ(pipe(keys), 0);
        ASSERT_EQ(pipe(shown), 0);
        for (int fd : {keys[0], shown[1]})
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(shown[1], F_SETPIPE_SZ, 4096);
        std::string screen;
        auto oldPipe = signal(SIGPIPE, SIG_IGN); // a utility that ended early fails the test
        auto [status, said] = run_on(
            keys[0], shown[1], plan,
            [&] {
                close(keys[0]);
                close(shown[1]);
                // Nothing to read at first, and nobody reading for a while.
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                ASSERT_EQ(write(keys[1], typed.data(), typed.size()), (ssize_t)typed.size());
                close(keys[1]);
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                char buf[65536];
                for (ssize_t n; (n = read(shown[0], buf, sizeof buf)) > 0;)
                    screen.append(buf, (size_t)n);
                close(shown[0]);
            },
            launcher);
        signal(SIGPIPE, oldPipe);
        EXPECT_EQ(status, 0) << said;
        screen = native_lines(screen);
        EXPECT_EQ(screen.size(), expected.size()) << (wideRun ? "wide" : "bytes");
        EXPECT_TRUE(screen == expected) << screen.substr(0, 2000);
    }

    // A library that makes standard output non-blocking itself has stdio drop
    // its text when the pipe is full: that is said, with status 2.
    if (getenv("JQCPT_TEST_RUNNER"))
        return;
    std::string input = temp_file("1\n\n99\n");
    int keys = open(input.c_str(), O_RDONLY), shown[2];
    ASSERT_EQ(pipe(shown), 0);
    fcntl(shown[1], F_SETPIPE_SZ, 4096);
    auto [status, said] =
        run_on(keys, shown[1], "call 0 1\nnonblock\nbulk 200000\nrow 4 Iraq\n", [&] {
            close(shown[1]);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            char buf[65536];
            while (read(shown[0], buf, sizeof buf) > 0)
                ;
            close(shown[0]);
        });
    close(keys);
    unlink(input.c_str());
    EXPECT_EQ(said,
              "jqcpttst: standard output: the C runtime could not write all the library's text\n");
    EXPECT_EQ(status, 2);
}

} // namespace
