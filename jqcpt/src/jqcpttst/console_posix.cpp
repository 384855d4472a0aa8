/*
 * console_posix.cpp - the console's platform layer on POSIX systems. It
 * uses plain read(2) and write(2) on the standard descriptors, and ANSI
 * codes to clear a terminal.
 *
 * What the library printed through stdio's stdout is taken from the stream
 * on glibc alone, whose FILE shows where its unwritten bytes lie. The
 * console then writes them with its own writer, which waits out EAGAIN, and
 * purges the stream. Elsewhere (musl, the BSDs, macOS), and for a wide
 * stream, stdio writes them itself when the console flushes stdout. There,
 * the text the library left in stdio when the guard stops the program is
 * lost, because a fault handler may not call stdio.
 *
 * The program keeps the C locale, so that glibc writes each character
 * outside ASCII that the library prints through wide stdio as "?".
 */

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <unistd.h>

#include "console_sys.h"

/* stdout's buffer, unless the library sets another. Only the library
   writes through stdout. */
static char libraryText[65536];

const bool SYS_END_LINE = true;

bool sys_init()
{
    bool console = isatty(STDOUT_FILENO) == 1;
    (void)setvbuf(stdout, libraryText, console ? _IOLBF : _IOFBF, sizeof libraryText);
    return console;
}

const char *sys_clear()
{
    return "\033[H\033[2J"; /* cursor home, erase the screen */
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

#if defined(__GLIBC__)
#include <stdio_ext.h>
/* Reads glibc's stream fields, which point into whatever buffer stdout has.
   A wide stream (_mode > 0) keeps its text elsewhere. */
long sys_stdout_pending(const char **text, bool take)
{
    const char *from = stdout->_IO_write_base, *to = stdout->_IO_write_ptr;
    if (stdout->_mode > 0)
        return -1;
    if (from == nullptr || to <= from)
        return 0;
    if (take)
        __fpurge(stdout);
    *text = from;
    return (long)(to - from);
}
#else
long sys_stdout_pending(const char **, bool)
{
    return -1;
}
#endif

/* stdout's file status flags from before it was made blocking, or -1. */
static int flagsBefore = -1;

void sys_output_blocking(bool blocking)
{
    if (blocking && flagsBefore < 0) {
        int flags = fcntl(STDOUT_FILENO, F_GETFL);
        if (flags >= 0 && (flags & O_NONBLOCK) != 0 &&
            fcntl(STDOUT_FILENO, F_SETFL, flags & ~O_NONBLOCK) == 0)
            flagsBefore = flags;
    } else if (!blocking && flagsBefore >= 0) {
        int error = errno;
        (void)fcntl(STDOUT_FILENO, F_SETFL, flagsBefore);
        flagsBefore = -1;
        errno = error;
    }
}

[[noreturn]] void sys_stop(int status)
{
    _exit(status);
}
