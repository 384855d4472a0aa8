/*
 * spawn - runs a command N times and reports what the runs cost.
 *
 *   spawn N INPUT OUTPUT command [args...]
 *
 * Each run reads INPUT on standard input; OUTPUT is "pipe" (standard output
 * to a pipe that spawn drains, as a terminal program or a script would) or
 * "null" (/dev/null). Prints one line:
 *   runs=N wall_us=... min_wall_us=... cpu_us=... user_us=... sys_us=... maxrss_kb=... bytes=...
 * with the mean wall time of one run and the shortest, the mean CPU time
 * (CPU = user + system), the largest resident set of any run, and the bytes
 * one run wrote.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char **environ;

static double now_us(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e6 + (double)t.tv_nsec / 1e3;
}

int main(int argc, char **argv)
{
    if (argc < 5) {
        fprintf(stderr, "usage: spawn N INPUT pipe|null command [args...]\n");
        return 2;
    }
    long runs = strtol(argv[1], NULL, 10);
    int toPipe = strcmp(argv[3], "pipe") == 0;
    double wall = 0, minWall = 0, user = 0, sys = 0;
    long maxrss = 0, bytes = 0;

    for (long r = 0; r < runs; r++) {
        int in = open(argv[2], O_RDONLY);
        int fds[2];
        if (in < 0 || (toPipe ? pipe(fds) : ((fds[1] = open("/dev/null", O_WRONLY)) < 0))) {
            perror("spawn");
            return 1;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in, 0);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        if (toPipe)
            posix_spawn_file_actions_addclose(&actions, fds[0]);

        double start = now_us();
        pid_t pid;
        if (posix_spawn(&pid, argv[4], &actions, NULL, argv + 4, environ) != 0) {
            perror(argv[4]);
            return 1;
        }
        close(fds[1]);
        close(in);
        long written = 0;
        if (toPipe) {
            char buf[65536];
            ssize_t n;
            while ((n = read(fds[0], buf, sizeof buf)) > 0)
                written += n;
            close(fds[0]);
        }
        int status;
        struct rusage use;
        wait4(pid, &status, 0, &use);
        double took = now_us() - start;
        wall += took;
        if (r == 0 || took < minWall)
            minWall = took;
        user += (double)use.ru_utime.tv_sec * 1e6 + (double)use.ru_utime.tv_usec;
        sys += (double)use.ru_stime.tv_sec * 1e6 + (double)use.ru_stime.tv_usec;
        if (use.ru_maxrss > maxrss)
            maxrss = use.ru_maxrss;
        bytes = written;
        posix_spawn_file_actions_destroy(&actions);
    }
    printf("runs=%ld wall_us=%.1f min_wall_us=%.1f cpu_us=%.1f user_us=%.1f sys_us=%.1f "
           "maxrss_kb=%ld bytes=%ld\n",
           runs, wall / (double)runs, minWall, (user + sys) / (double)runs, user / (double)runs,
           sys / (double)runs, maxrss, bytes);
    return 0;
}
