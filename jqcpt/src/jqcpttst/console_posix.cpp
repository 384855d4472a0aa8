/*
 * console_posix.cpp - the console's platform layer on POSIX systems: plain
 * read(2) and write(2) on the standard descriptors, ANSI clearing, and
 * stdio's stdout taken apart (glibc).
 */

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdio_ext.h>
#include <unistd.h>
#include <wchar.h>

#include "console_sys.h"

/* stdout's buffer while the library leaves it so: text only the library writes. */
static char libraryText[65536];

bool sys_init()
{
    bool console = isatty(STDOUT_FILENO) == 1;
    (void)setvbuf(stdout, libraryText, console ? _IOLBF : _IOFBF, sizeof libraryText);
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
 * What a byte stream holds unwritten lies where the stream says, in
 * whatever buffer it has: ours, or one the library gave it. Read from the
 * stream's fields alone (its _mode is fwide's answer).
 */
long sys_library_bytes(const char **text)
{
    const char *from = stdout->_IO_write_base, *to = stdout->_IO_write_ptr;
    *text = from;
    return from != nullptr && to > from && stdout->_mode <= 0 ? (long)(to - from) : 0;
}

/* stdout's file status flags while it is made blocking; -1 when it is not. */
static int flagsBefore = -1;

bool sys_output_blocking(bool blocking)
{
    bool was = flagsBefore >= 0;
    if (blocking && !was) {
        int flags = fcntl(STDOUT_FILENO, F_GETFL);
        if (flags >= 0 && (flags & O_NONBLOCK) != 0 &&
            fcntl(STDOUT_FILENO, F_SETFL, flags & ~O_NONBLOCK) == 0)
            flagsBefore = flags;
    } else if (!blocking && was) {
        int error = errno;
        (void)fcntl(STDOUT_FILENO, F_SETFL, flagsBefore);
        flagsBefore = -1;
        errno = error;
    }
    return was;
}

/*
 * Bytes are taken from the stream for the console to write, which waits
 * out EAGAIN where stdio would drop them. A wide stream keeps its text as
 * wide characters elsewhere and turns it into bytes under the locale: stdio
 * writes that itself, with standard output blocking for that flush alone.
 */
long sys_library_text(const char **text)
{
    if (fwide(stdout, 0) > 0) {
        *text = "";
        if (__fpending(stdout) == 0 && stdout->_IO_write_ptr == stdout->_IO_write_base)
            return 0;
        return flush_blocking();
    }
    long n = sys_library_bytes(text);
    __fpurge(stdout);
    return n;
}
