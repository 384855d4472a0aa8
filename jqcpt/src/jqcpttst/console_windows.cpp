/*
 * console_windows.cpp - the console's platform layer on Windows: UTF-16
 * through WriteConsoleW and ReadConsoleW on a console, UTF-8 through
 * WriteFile (one call a buffer) and ReadFile when a stream is redirected;
 * line ends as CR LF. No text passes through the C runtime's conversions.
 * A pipe in PIPE_NOWAIT mode is waited for with short sleeps: a read of an
 * empty one fails with ERROR_NO_DATA, a write to a full one moves nothing.
 * While the library runs, standard output is put in PIPE_WAIT mode.
 *
 * What the library printed through stdout the C runtime writes itself when
 * the console flushes stdout. Only msvcrt's FILE says where the bytes it
 * holds unwritten lie, so that the console can write them when the
 * protected page stops the library; UCRT's (mingw's with _UCRT, MSVC's)
 * says nothing, and that text is lost.
 */

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <windows.h>

#include "console.h"
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
 * Writes up to OUT_BYTES of the text at a time, ending between whole
 * characters, each LF as CR LF, all of it: as UTF-16 to a console (whole
 * characters, as its buffer holds only those), as UTF-8 elsewhere. Gives how
 * much of the text it wrote.
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
            Sleep(1); /* a full non-blocking pipe: not yet */
        done += wrote;
    }
    return static_cast<long>(take);
}

/* From the console: UTF-16 turned into UTF-8, a pair never cut in two. */
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
        if (error == ERROR_NO_DATA) {
            errno = EAGAIN; /* an empty PIPE_NOWAIT pipe: not yet */
            return -1;
        }
        if (errno_of(error) == EPIPE || error == ERROR_HANDLE_EOF)
            return 0; /* the writer has gone: the end of the input */
        errno = errno_of(error);
        return -1;
    }
    return static_cast<long>(got);
}

bool sys_wait(int, bool)
{
    Sleep(1); /* a PIPE_NOWAIT pipe tells no one when it is ready */
    return true;
}

/* The pipe mode standard output had while it is made blocking; 0 when it is not. */
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
/* msvcrt's stream fields; the bytes are left for the runtime to write. */
long sys_library_bytes(const char **text, bool take)
{
    if (take)
        return -1;
    if ((stdout->_flag & _IOWRT) == 0 || stdout->_base == nullptr || stdout->_ptr <= stdout->_base)
        return 0;
    *text = stdout->_base;
    return static_cast<long>(stdout->_ptr - stdout->_base);
}
#else
long sys_library_bytes(const char **, bool)
{
    return -1;
}
#endif

/* A write into the page stops the program; any other fault goes on its way. */
static LONG CALLBACK on_fault(EXCEPTION_POINTERS *fault)
{
    const EXCEPTION_RECORD *r = fault->ExceptionRecord;
    if (r->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r->NumberParameters >= 2 &&
        r->ExceptionInformation[0] == 1 /* a write */)
        guard_written(reinterpret_cast<const void *>(r->ExceptionInformation[1]));
    return EXCEPTION_CONTINUE_SEARCH;
}

size_t sys_page_bytes()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwPageSize;
}

bool sys_catch_writes()
{
    return AddVectoredExceptionHandler(1, on_fault) != nullptr;
}

bool sys_protect(void *page, bool writable)
{
    DWORD before;
    return VirtualProtect(page, CON_PAGE_BYTES, writable ? PAGE_READWRITE : PAGE_READONLY,
                          &before) != 0;
}

bool sys_page_copy(const void *page, void *to)
{
    memcpy(to, page, CON_PAGE_BYTES);
    return true;
}

/* The page lies in the program's image, of which no one can unmap a page or
   map over one: the new page is the same one cleared. */
bool sys_page_renew(void *page)
{
    if (!sys_protect(page, true))
        return false;
    memset(page, 0, CON_PAGE_BYTES);
    return sys_protect(page, false);
}

/* Ends at once: no runtime clean-up writes anything after the console. */
void sys_stop(int status)
{
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
}
