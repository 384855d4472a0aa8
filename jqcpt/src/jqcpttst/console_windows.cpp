/*
 * console_windows.cpp - the console's platform layer on Windows. On a
 * console, text goes through WriteConsoleW and ReadConsoleW as UTF-16. On a
 * redirected stream it goes through WriteFile and ReadFile as UTF-8, one
 * call a buffer. Line ends are written as CR LF, and no text passes through
 * the C runtime's conversions.
 *
 * A pipe in PIPE_NOWAIT mode is waited for with short sleeps, because
 * nothing tells when it is ready. A read of an empty one fails with
 * ERROR_NO_DATA, and a write to a full one moves nothing. While the library
 * runs, standard output is put in PIPE_WAIT mode.
 *
 * The C runtime writes what the library printed through stdout when the
 * console flushes stdout. Only msvcrt's FILE shows where its unwritten
 * bytes lie, so that the console can write them when the guard stops the
 * program. UCRT's FILE (mingw's with _UCRT, and MSVC's) does not, and that
 * text is then lost.
 */

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>

#include "console_sys.h"

const bool SYS_END_LINE = false;

/* True for a console only; _isatty would also say so for NUL. */
static bool is_console(HANDLE h)
{
    DWORD mode;
    return GetConsoleMode(h, &mode) != 0;
}

bool sys_init()
{
    return is_console(GetStdHandle(STD_OUTPUT_HANDLE));
}

const char *sys_clear()
{
    _wsystem(L"cls");
    return "";
}

/* Returns the errno value closest to a Windows error code. */
static int errno_of(DWORD error)
{
    switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
        return EPIPE;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    default:
        return EIO;
    }
}

/*
 * Writes up to OUT_BYTES of the text, ending between whole characters, with
 * each LF as CR LF. A console takes it as UTF-16 in whole characters, since
 * its buffer holds only those; anything else takes UTF-8. Returns how many
 * bytes of the text it wrote.
 */
long sys_write(int fd, const char *bytes, size_t n)
{
    size_t take = n;
    if (take > OUT_BYTES) {
        take = OUT_BYTES;
        while (take > 1 && (static_cast<unsigned char>(bytes[take]) & 0xC0) == 0x80)
            take--;
    }
    static char lines[2 * OUT_BYTES];
    static wchar_t units[2 * OUT_BYTES]; /* UTF-16 takes no more units than UTF-8 bytes */
    DWORD count = 0;
    for (size_t i = 0; i < take; i++) {
        if (bytes[i] == '\n')
            lines[count++] = '\r';
        lines[count++] = bytes[i];
    }
    HANDLE h = GetStdHandle(fd == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    bool console = fd == 1 && is_console(h);
    if (console)
        count = static_cast<DWORD>(MultiByteToWideChar(CP_UTF8, 0, lines, static_cast<int>(count),
                                                       units, static_cast<int>(2 * OUT_BYTES)));
    for (DWORD done = 0; done < count;) {
        DWORD wrote = 0;
        BOOL ok = console ? WriteConsoleW(h, units + done, count - done, &wrote, nullptr)
                          : WriteFile(h, lines + done, count - done, &wrote, nullptr);
        if (!ok) {
            errno = errno_of(GetLastError());
            return -1;
        }
        if (wrote == 0)
            Sleep(1); /* a full PIPE_NOWAIT pipe, to be tried again */
        done += wrote;
    }
    return static_cast<long>(take);
}

/* Reads UTF-16 from the console and returns it as UTF-8, never cutting a
   surrogate pair in two. */
static long console_read(HANDLE in, unsigned char *bytes, size_t size)
{
    static wchar_t held; /* a high surrogate whose partner is still to come */
    wchar_t units[IN_BYTES / 3];
    for (;;) {
        DWORD have = 0, got = 0;
        if (held)
            units[have++] = held;
        held = 0;
        size_t fits =
            size / 3 < sizeof units / sizeof units[0] ? size / 3 : sizeof units / sizeof units[0];
        if (!ReadConsoleW(in, units + have, static_cast<DWORD>(fits) - have, &got, nullptr)) {
            errno = errno_of(GetLastError());
            return -1;
        }
        if (got == 0 || units[have] == 0x1A)
            return 0; /* Ctrl+Z ends the input, as the runtime has it */
        have += got;
        if (units[have - 1] >= 0xD800 && units[have - 1] <= 0xDBFF)
            held = units[--have];
        if (have > 0)
            return WideCharToMultiByte(CP_UTF8, 0, units, static_cast<int>(have),
                                       reinterpret_cast<char *>(bytes), static_cast<int>(size),
                                       nullptr, nullptr);
    }
}

long sys_read(unsigned char *bytes, size_t size)
{
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (is_console(in))
        return console_read(in, bytes, size);
    DWORD got = 0;
    if (!ReadFile(in, bytes, static_cast<DWORD>(size), &got, nullptr)) {
        DWORD error = GetLastError();
        /* ERROR_NO_DATA is an empty PIPE_NOWAIT pipe, to be read again. */
        errno = error == ERROR_NO_DATA ? EAGAIN : errno_of(error);
        if (errno == EPIPE || error == ERROR_HANDLE_EOF)
            return 0; /* the writer has gone, which ends the input */
        return -1;
    }
    return static_cast<long>(got);
}

bool sys_wait(int, bool)
{
    Sleep(1); /* a PIPE_NOWAIT pipe tells no one when it is ready */
    return true;
}

/* The pipe mode standard output had before it was made blocking, or 0. */
static DWORD modeBefore;

void sys_output_blocking(bool blocking)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD state = 0, wait = PIPE_WAIT;
    if (blocking && modeBefore == 0) {
        if (GetNamedPipeHandleState(out, &state, nullptr, nullptr, nullptr, nullptr, 0) &&
            (state & PIPE_NOWAIT) != 0 && SetNamedPipeHandleState(out, &wait, nullptr, nullptr))
            modeBefore = state;
    } else if (!blocking && modeBefore != 0) {
        (void)SetNamedPipeHandleState(out, &modeBefore, nullptr, nullptr);
        modeBefore = 0;
    }
}

#if defined(__MINGW32__) && !defined(_UCRT)
/* Reads msvcrt's stream fields. The bytes are never taken, and the runtime
   writes them when the console flushes stdout. */
long sys_stdout_pending(const char **text, bool take)
{
    if (take)
        return -1;
    if ((stdout->_flag & _IOWRT) == 0 || stdout->_base == nullptr || stdout->_ptr <= stdout->_base)
        return 0;
    *text = stdout->_base;
    return static_cast<long>(stdout->_ptr - stdout->_base);
}
#else
long sys_stdout_pending(const char **, bool)
{
    return -1;
}
#endif

/* Ends at once, so that no runtime clean-up writes anything after the
   console. TerminateProcess does not return for the calling process, but
   it is not declared noreturn, and the loop keeps the promise. */
void sys_stop(int status)
{
    (void)TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    for (;;)
        Sleep(INFINITE);
}
