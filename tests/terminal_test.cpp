// The utility used interactively: in a pseudo-terminal as a person sees it,
// and through pipes as a driving program sees it.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

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
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    int probe, probeSide;
    if (openpty(&probe, &probeSide, nullptr, nullptr, nullptr) != 0)
        GTEST_SKIP() << "no pseudo-terminal here (openpty: " << strerror(errno)
                     << "); a container needs /dev/pts mounted for this test";
    close(probe);
    close(probeSide);

    Terminal t;
    t.pid = forkpty(&t.fd, nullptr, nullptr, nullptr);
    ASSERT_GE(t.pid, 0);
    t.keys = t.fd;
    if (t.pid == 0) {
        unsetenv("JQCPT_COUNTRY_FILE");
        exec_utility();
    }

    // The prompt must be on screen while the program waits: nothing is typed before.
    ASSERT_TRUE(t.wait_for(" -> ")) << t.screen;
    EXPECT_EQ(t.screen.rfind(CLEAR + " CPTD DLL Test Utility \r\n", 0), 0u) << t.screen;

    size_t mark = t.screen.size();
    t.type("1\r");
    ASSERT_TRUE(t.wait_for("\r\n Press enter to continue", mark)) << t.screen;
    EXPECT_NE(t.screen.find("     384                 C\xc3\xb4te d'Ivoire\r\n", mark),
              std::string::npos);
    EXPECT_EQ(t.screen.find(CLEAR, mark), std::string::npos) << "report cleared away";

    mark = t.screen.size();
    t.type("\r"); // one Enter is enough
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
}

TEST(Pipes, EachPromptIsFlushedBeforeWaiting)
{
    int toChild[2], fromChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(fromChild), 0);
    Terminal t;
    t.pid = fork();
    ASSERT_GE(t.pid, 0);
    if (t.pid == 0) {
        dup2(toChild[0], 0);
        dup2(fromChild[1], 1);
        close(toChild[1]);
        close(fromChild[0]);
        exec_utility();
    }
    close(toChild[0]);
    close(fromChild[1]);
    t.fd = fromChild[0];
    t.keys = toChild[1];

    ASSERT_TRUE(t.wait_for(" -> ")) << t.screen;
    t.type("1\n");
    ASSERT_TRUE(t.wait_for("\n Press enter to continue")) << t.screen;
    size_t mark = t.screen.size();
    t.type("\n");
    ASSERT_TRUE(t.wait_for(" -> ", mark)) << t.screen;
    t.type("99\n");
    close(t.keys);
    EXPECT_EQ(t.finish(), 0);
    EXPECT_EQ(t.screen.find("\033"), std::string::npos);
    EXPECT_EQ(t.screen.size() - t.screen.rfind("\n EXIT Selected."), 16u);
}

} // namespace
