/*
 * console_posix.cpp - the console's platform layer on POSIX systems: plain
 * read(2) and write(2) on the standard descriptors, and ANSI clearing.
 */

#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <stdio_ext.h>
#include <unistd.h>

#include "console_sys.h"

/* stdout's buffer, which only the library writes to, when stdio took it. */
static char libraryText[65536];
static bool libraryTextOurs;

const bool SYS_END_LINE = true;

bool sys_init()
{
    bool console = isatty(STDOUT_FILENO) == 1;
    libraryTextOurs =
        setvbuf(stdout, libraryText, console ? _IOLBF : _IOFBF, sizeof libraryText) == 0;
    return console;
}

const wchar_t *sys_clear()
{
    return L"\033[H\033[2J"; /* cursor home, erase the screen */
}

long sys_write(int fd, const char *bytes, size_t n)
{
    return (long)write(fd, bytes, n);
}

long sys_read(unsigned char *bytes, size_t size)
{
    return (long)read(STDIN_FILENO, bytes, size);
}

bool sys_wait(int fd, bool forWriting)
{
    pollfd p = {fd, (short)(forWriting ? POLLOUT : POLLIN), 0};
    return poll(&p, 1, -1) >= 0 || errno == EINTR;
}

/*
 * What stdio holds starts at its buffer's start (it starts afresh after
 * every write). Taken from it, the text is written by the console, which
 * waits out EAGAIN where stdio would drop it.
 */
long sys_library_text(const char **text)
{
    *text = libraryText;
    if (!libraryTextOurs)
        return fflush(stdout) == 0 ? 0 : -1;
    size_t n = __fpending(stdout);
    __fpurge(stdout);
    return (long)n;
}
