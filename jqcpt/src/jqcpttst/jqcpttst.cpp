/*
 * jqcpttst - interactive test console for the CPTD library.
 *
 * Shows a menu; on selection 1 asks the library for the countries CPTD
 * supports and prints them as a table of IDs and names (or the library's
 * warning or error code), then waits for Enter; on selection 99 it ends.
 *
 * Exit status: 0 when every listing of the run got CPTD_OK from a library
 * that kept its contract (or there was none); 1 when a listing got another
 * code, or the library reported more records than the table holds or wrote
 * past it; 2 when standard input could not be read or standard output
 * written (the program then ends at once, saying why on standard error).
 * End of input at the menu or at the pause ends the program as EXIT does,
 * without the farewell line.
 */

#include <errno.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "jqcpt.h"
#include "jqcpttyp.h"
#include "jqsys.h"
#include "jqcpttst_version.h"

static const char jqcpttst_ident[] JQ_IDENT =
    "@(#) jqbuild  2026-12-08 21:40:00   jqcpttst.cpp /main/jqcpttst/15 ~";

static const char jqcpttst_version[] JQ_IDENT =
    "FileDescription: " JQCPTTST_FILE_DESCRIPTION "; FileVersion: " JQCPTTST_FILE_VERSION
    "; InternalName: " JQCPTTST_INTERNAL_NAME;

/* What con_peek and con_getc return at the end of standard input. */
static const int CON_EOF = -1;

/* Bytes of output gathered before they are written. */
enum { OUT_BYTES = 16384 };

static bool is_high_surrogate(uint32_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}

static bool is_low_surrogate(uint32_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

/*
 * ===== Platform =====
 * Everything that differs between POSIX and Windows is in this block:
 *   sys_init     learns whether standard output is a console
 *   sys_clear    clears the console; gives text to write for that, if any
 *   sys_write    one write of UTF-8 bytes to standard output or error
 *   sys_read     one read of UTF-8 bytes from standard input, 0 at its end
 *   sys_wait     waits until a non-blocking stream is ready again
 *   sys_library_text  takes what the library printed through the C
 *                runtime's stdout and left unwritten, for the console to write
 * sys_write, sys_read and sys_library_text return -1 with errno set when
 * they fail.
 * CRLF_LINES says whether a line end is written as CR LF.
 */
#if defined(_WIN32)

#include <windows.h>

static const bool CRLF_LINES = true;
static bool outIsConsole, inIsConsole;
static HANDLE outHandle, inHandle;

static void sys_init()
{
    DWORD mode;
    outHandle = GetStdHandle(STD_OUTPUT_HANDLE);
    inHandle = GetStdHandle(STD_INPUT_HANDLE);
    /* True for a console only; _isatty would also say so for NUL. */
    outIsConsole = GetConsoleMode(outHandle, &mode) != 0;
    inIsConsole = GetConsoleMode(inHandle, &mode) != 0;
}

static const wchar_t *sys_clear()
{
    _wsystem(L"cls");
    return L"";
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

/* The console takes UTF-16: whole characters, as the buffer holds only those. */
static long console_write(const char *bytes, size_t n)
{
    static wchar_t units[OUT_BYTES]; /* UTF-16 takes no more units than UTF-8 bytes */
    int count = MultiByteToWideChar(CP_UTF8, 0, bytes, (int)n, units,
                                    (int)(sizeof units / sizeof units[0]));
    for (int done = 0; done < count;) {
        DWORD wrote = 0;
        if (!WriteConsoleW(outHandle, units + done, (DWORD)(count - done), &wrote, nullptr) ||
            wrote == 0) {
            errno = errno_of(GetLastError());
            return -1;
        }
        done += (int)wrote;
    }
    return (long)n;
}

static long sys_write(int fd, const char *bytes, size_t n)
{
    if (fd == 1 && outIsConsole)
        return console_write(bytes, n);
    DWORD wrote = 0;
    HANDLE h = fd == 1 ? outHandle : GetStdHandle(STD_ERROR_HANDLE);
    if (!WriteFile(h, bytes, (DWORD)n, &wrote, nullptr)) {
        errno = errno_of(GetLastError());
        return -1;
    }
    return (long)wrote;
}

/* From the console: UTF-16 turned into UTF-8, a pair never cut in two. */
static long console_read(unsigned char *bytes, size_t size)
{
    static wchar_t held; /* a high surrogate whose partner is still to come */
    wchar_t units[1366];
    for (;;) {
        DWORD have = 0, got = 0;
        if (held)
            units[have++] = held;
        held = 0;
        DWORD room =
            (DWORD)(size / 3 < sizeof units / sizeof units[0] ? size / 3
                                                              : sizeof units / sizeof units[0]);
        if (!ReadConsoleW(inHandle, units + have, room - have, &got, nullptr)) {
            errno = errno_of(GetLastError());
            return -1;
        }
        if (got == 0 || units[have] == 0x1A)
            return 0; /* Ctrl+Z ends the input, as the runtime has it */
        have += got;
        if (is_high_surrogate(units[have - 1]))
            held = units[--have];
        if (have > 0)
            return WideCharToMultiByte(CP_UTF8, 0, units, (int)have, (char *)bytes, (int)size,
                                       nullptr, nullptr);
    }
}

static long sys_read(unsigned char *bytes, size_t size)
{
    if (inIsConsole)
        return console_read(bytes, size);
    DWORD got = 0;
    if (!ReadFile(inHandle, bytes, (DWORD)size, &got, nullptr)) {
        DWORD error = GetLastError();
        if (errno_of(error) == EPIPE || error == ERROR_HANDLE_EOF)
            return 0; /* the writer has gone: the end of the input */
        errno = errno_of(error);
        return -1;
    }
    return (long)got;
}

static bool sys_wait(int, bool)
{
    Sleep(1); /* Windows handles do not report EAGAIN; never reached */
    return true;
}

/* The runtime writes it itself: Windows handles do not report EAGAIN. */
static long sys_library_text(const char **text)
{
    *text = "";
    return fflush(stdout) == 0 ? 0 : -1;
}

#else /* POSIX */

#include <poll.h>
#include <stdio_ext.h>
#include <unistd.h>

static const bool CRLF_LINES = false;
static bool outIsConsole;

/* stdout's buffer, which only the library writes to, when stdio took it. */
static char libraryText[65536];
static bool libraryTextOurs;

static void sys_init()
{
    outIsConsole = isatty(STDOUT_FILENO) == 1;
    libraryTextOurs =
        setvbuf(stdout, libraryText, outIsConsole ? _IOLBF : _IOFBF, sizeof libraryText) == 0;
}

static const wchar_t *sys_clear()
{
    return L"\033[H\033[2J"; /* cursor home, erase the screen */
}

static long sys_write(int fd, const char *bytes, size_t n)
{
    return (long)write(fd, bytes, n);
}

static long sys_read(unsigned char *bytes, size_t size)
{
    return (long)read(STDIN_FILENO, bytes, size);
}

static bool sys_wait(int fd, bool forWriting)
{
    pollfd p = {fd, (short)(forWriting ? POLLOUT : POLLIN), 0};
    return poll(&p, 1, -1) >= 0 || errno == EINTR;
}

/*
 * What stdio holds starts at its buffer's start (it starts afresh after
 * every write). Taken from it, the text is written by the console, which
 * waits out EAGAIN where stdio would drop it.
 */
static long sys_library_text(const char **text)
{
    *text = libraryText;
    if (!libraryTextOurs)
        return fflush(stdout) == 0 ? 0 : -1;
    size_t n = __fpending(stdout);
    __fpurge(stdout);
    return (long)n;
}

#endif /* platform */

/* ===== Console streams ===== */

static char outBuf[OUT_BYTES];
static size_t outLen;
static unsigned char inBuf[4096];
static size_t inPos, inLen;
static bool inEnded;

/* Ends the program when a standard stream fails: nothing may be lost unseen. */
[[noreturn]] static void stream_failed(const char *stream)
{
    char line[256];
    int n = snprintf(line, sizeof line, "jqcpttst: %s: %s%s", stream, strerror(errno),
                     CRLF_LINES ? "\r\n" : "\n");
    if (n > 0)
        (void)sys_write(2, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
    exit(2);
}

/* Retries a call that failed for a passing reason; false when it failed for good. */
static bool passing_failure(int fd, bool forWriting)
{
    if (errno == EINTR)
        return true;
    return (errno == EAGAIN || errno == EWOULDBLOCK) && sys_wait(fd, forWriting);
}

/* Writes all n bytes to standard output, or ends the program. */
static void write_all(const char *bytes, size_t n)
{
    for (size_t done = 0; done < n;) {
        long wrote = sys_write(1, bytes + done, n - done);
        if (wrote > 0)
            done += (size_t)wrote;
        else if (wrote == 0 || !passing_failure(1, true))
            stream_failed("standard output");
    }
}

/* Makes everything written visible. */
static void con_flush()
{
    /* What the library printed through the C runtime comes before our text. */
    const char *text;
    long n = sys_library_text(&text);
    if (n < 0)
        stream_failed("standard output");
    write_all(text, (size_t)n);
    write_all(outBuf, outLen);
    outLen = 0;
}

/* Writes c as UTF-8 at out; gives the bytes written, 1 to 4. */
static size_t utf8_encode(uint32_t c, char *out)
{
    auto *u = reinterpret_cast<unsigned char *>(out);
    if (c < 0x80) {
        u[0] = (unsigned char)c;
        return 1;
    }
    if (c < 0x800) {
        u[0] = (unsigned char)(0xC0 | (c >> 6));
        u[1] = (unsigned char)(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        u[0] = (unsigned char)(0xE0 | (c >> 12));
        u[1] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
        u[2] = (unsigned char)(0x80 | (c & 0x3F));
        return 3;
    }
    u[0] = (unsigned char)(0xF0 | (c >> 18));
    u[1] = (unsigned char)(0x80 | ((c >> 12) & 0x3F));
    u[2] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
    u[3] = (unsigned char)(0x80 | (c & 0x3F));
    return 4;
}

/*
 * Queues wide text for standard output as UTF-8, whatever the locale (the
 * program reads no environment). A lone surrogate or a value beyond
 * Unicode is written as U+FFFD. The buffer is flushed only between whole
 * characters, so no sequence or pair is ever cut.
 */
static void con_write(const wchar_t *text, size_t n)
{
    /* Kept in a local: stores into outBuf could otherwise alias outLen. */
    size_t len = outLen;
    for (size_t i = 0; i < n; i++) {
        /* A negative wchar_t turns into a value above U+10FFFF, shown as U+FFFD. */
        uint32_t c = (uint32_t)text[i]; // NOLINT(bugprone-signed-char-misuse,cert-str34-c)
        // CRLF_LINES is a constant of the platform.
        // cppcheck-suppress knownConditionTrueFalse
        if (c < 0x80 && !(CRLF_LINES && c == '\n') && len < sizeof outBuf) {
            outBuf[len++] = (char)c; /* most of the text */
            continue;
        }
        if (sizeof outBuf - len < 4) {
            outLen = len;
            con_flush();
            len = 0;
        }
        if (is_high_surrogate(c) && i + 1 < n && is_low_surrogate((uint32_t)text[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + ((uint32_t)text[++i] - 0xDC00);
        else if (c > 0x10FFFF || is_high_surrogate(c) || is_low_surrogate(c))
            c = 0xFFFD;
        if (CRLF_LINES && c == '\n')
            outBuf[len++] = '\r';
        len += utf8_encode(c, outBuf + len);
    }
    outLen = len;
}

/* Clears the console before the menu; a transcript holds the dialogue alone. */
static void con_clear()
{
    if (!outIsConsole)
        return;
    con_flush();
    const wchar_t *text = sys_clear();
    con_write(text, wcslen(text));
}

/*
 * The next input byte without taking it, or CON_EOF. Output is flushed
 * only here, before a read that may wait, and around the library call: a
 * script that types ahead gets its transcript in few large writes.
 */
static int con_peek()
{
    while (inPos == inLen) {
        if (inEnded)
            return CON_EOF;
        con_flush(); /* all that is written is shown before the program waits */
        long n = sys_read(inBuf, sizeof inBuf);
        if (n > 0) {
            inPos = 0;
            inLen = (size_t)n;
        } else if (n == 0) {
            inEnded = true;
        } else if (!passing_failure(0, false)) {
            stream_failed("standard input");
        }
    }
    return inBuf[inPos];
}

static void con_next()
{
    if (con_peek() != CON_EOF)
        inPos++;
}

/*
 * Takes one whole character: a UTF-8 sequence (a stray byte counts as one
 * character), and CR LF as one line end. Characters that matter to the
 * dialogue are ASCII; anything else only has to be told apart from them.
 */
static int con_getc()
{
    int c = con_peek();
    con_next();
    if (c == '\r' && con_peek() == '\n') {
        con_next();
        return '\n';
    }
    int more = c >= 0xF0 && c <= 0xF4   ? 3
               : c >= 0xE0 && c <= 0xEF ? 2
               : c >= 0xC2 && c <= 0xDF ? 1
                                        : 0;
    while (more-- > 0 && con_peek() >= 0x80 && con_peek() <= 0xBF)
        con_next();
    return c;
}

/* ===== Console text ===== */

/*
 * Starts a right-aligned field of width characters for n bytes that show
 * as chars characters (never cut): writes its blanks and gives where the
 * bytes go. The buffer is flushed only before the whole field.
 */
static char *field_start(size_t n, int chars, int width)
{
    static const char blanks[32] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                    ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                    ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    size_t pad = width > chars ? (size_t)(width - chars) : 0;
    if (sizeof outBuf - outLen < pad + n + sizeof blanks)
        con_flush();
    char *out = outBuf + outLen;
    /* A fixed-size copy of blanks costs a few stores; the bytes go over the rest. */
    if (pad <= sizeof blanks)
        memcpy(out, blanks, sizeof blanks);
    else
        memset(out, ' ', pad);
    outLen += pad + n;
    return out + pad;
}

/* A line end, as con_write writes L"\n". */
static void put_line_end()
{
    if (sizeof outBuf - outLen < 2)
        con_flush();
    // cppcheck-suppress knownConditionTrueFalse
    if (CRLF_LINES)
        outBuf[outLen++] = '\r';
    outBuf[outLen++] = '\n';
}

static void put_field(const char *bytes, size_t n, int chars, int width)
{
    memcpy(field_start(n, chars, width), bytes, n);
}

/* A decimal number right-aligned in width characters. */
static void put_number(unsigned long long magnitude, bool negative, int width)
{
    char digits[24];
    char *end = digits + sizeof digits, *p = end;
    do
        *--p = (char)('0' + magnitude % 10);
    while ((magnitude /= 10) != 0);
    if (negative)
        *--p = '-';
    put_field(p, (size_t)(end - p), (int)(end - p), width);
}

/*
 * One formatted write of wide text, the program's only way to write a
 * message. It knows the conversions the program uses, %d and %lu, each
 * with an optional field width; a field is right-aligned and never cuts its
 * text. The runtime's wide printf is not used: it is slow and, under
 * glibc, tied to the locale.
 */
static void say(const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    for (const wchar_t *p = format; *p;) {
        const wchar_t *run = p;
        while (*p && *p != L'%')
            p++;
        con_write(run, (size_t)(p - run));
        if (!*p++)
            break;

        int width = 0;
        for (; *p >= L'0' && *p <= L'9'; p++)
            width = width * 10 + (*p - L'0');
        if (*p == L'l')
            p++;
        if (*p == L'd') {
            long long value = va_arg(args, int);
            put_number((unsigned long long)(value < 0 ? -value : value), value < 0, width);
        } else if (*p == L'u') {
            put_number(va_arg(args, unsigned long), false, width);
        } else if (*p) {
            con_write(p, 1); /* an unknown conversion is written as it stands */
        } else {
            break;
        }
        p++;
    }
    va_end(args);
}

/* ===== Country list report ===== */

constexpr uint32_t MAX_COUNTRIES = CPTD_MAX_COUNTRIES;

/*
 * The table, and right after it a guard zone that catches records a
 * library writes past the table's end; the zone is never shown. It holds
 * GUARD_BYTE throughout before every call.
 */
enum { GUARD_RECORDS = 64 };
static const unsigned char GUARD_BYTE = 0xA5;
static struct {
    CountryEntry table[MAX_COUNTRIES];
    CountryEntry guard[GUARD_RECORDS];
} countryStore;
static bool guardSet;

static CountryEntry *const countryTable = countryStore.table;
static uint32_t countryCount;

/* Set once a listing got a code other than CPTD_OK, or the library broke
   its contract: the exit status. */
static bool listingFailed;

static void guard_set()
{
    if (!guardSet)
        memset(countryStore.guard, GUARD_BYTE, sizeof countryStore.guard);
    guardSet = true;
}

/* True while every byte of the zone equals the one before it, the first GUARD_BYTE. */
static bool guard_intact()
{
    const auto *zone = reinterpret_cast<const unsigned char *>(countryStore.guard);
    guardSet = zone[0] == GUARD_BYTE && memcmp(zone, zone + 1, sizeof countryStore.guard - 1) == 0;
    return guardSet;
}

/* Characters a name may not show: they would drive or reorder the terminal. */
static bool is_unsafe(uint32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) /* control characters */
           || (c >= 0x202A && c <= 0x202E)      /* bidirectional embeddings, overrides */
           || (c >= 0x2066 && c <= 0x2069)      /* bidirectional isolates */
           || c == 0x2028 || c == 0x2029        /* line and paragraph separators */
           || c == 0xFFFE || c == 0xFFFF;       /* noncharacters */
}

/*
 * Writes a record's name right-aligned in width characters, in one pass:
 * UTF-16 decoded, never read past the field's 30 units, a lone surrogate or
 * an unsafe character shown as U+FFFD (so the library's data never drives
 * the terminal), and encoded as UTF-8.
 */
static void put_name(const JQ_WCHAR16 *name, int width)
{
    size_t i = 0;
    while (i < CPTD_NAME_UNITS && name[i] - 0x20u < 0x5Fu)
        i++;
    if (i == CPTD_NAME_UNITS || name[i] == 0) {
        /* Printable ASCII alone, most names: written straight where it goes. */
        char *out = field_start(i, (int)i, width);
        for (size_t k = 0; k < i; k++)
            out[k] = (char)name[k];
        return;
    }

    char bytes[CPTD_NAME_UNITS * 3] = {}; /* a unit gives at most 3 bytes, a pair 4 */
    size_t n = 0;
    int chars = 0;
    for (i = 0; i < CPTD_NAME_UNITS && name[i] != 0; i++, chars++) {
        uint32_t c = name[i];
        if (is_high_surrogate(c) && i + 1 < CPTD_NAME_UNITS && is_low_surrogate(name[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00u);
        else if (is_high_surrogate(c) || is_low_surrogate(c) || is_unsafe(c))
            c = 0xFFFD;
        n += utf8_encode(c, bytes + n);
    }
    put_field(bytes, n, chars, width);
}

static void ReportError(int32_t code)
{
    say(L"\n");
    say(L"An Error Has Occurred ... Return code = %d \n", (int)code);
    say(L"\n");
}

/* The warning, the error report or the table, for what the library returned. */
static void report_list(int32_t rc)
{
    if (rc == CPTD_PARTIAL_LIST && countryCount != 0) {
        say(L"\nPart of input file is corrupted.\n");
        say(L"Only some of the country names can be retrieved.\n\n");
    }
    if (rc != CPTD_OK && countryCount == 0) {
        ReportError(rc);
        return;
    }
    say(L"\n");
    if (countryCount == 0) {
        say(L"No country was defined in CPTD \n");
        return;
    }
    say(L"   Country ID      Country Name  \n");
    say(L" --------------------------------\n");
    say(L"\n");

    /* The table holds MAX_COUNTRIES records, whatever count the library claims. */
    uint32_t shown = countryCount < MAX_COUNTRIES ? countryCount : MAX_COUNTRIES;
    // The library wrote countryCount through the pointer it was handed.
    // cppcheck-suppress knownConditionTrueFalse
    for (uint32_t i = 0; i < shown; i++) {
        int32_t id = countryTable[i].id;
        uint32_t magnitude = id < 0 ? 0u - (uint32_t)id : (uint32_t)id;
        put_number(magnitude, id < 0, 8);   /* "%8d" */
        put_name(countryTable[i].name, 30); /* "%30ls" */
        put_line_end();                     /* "\n" */
    }
    if (countryCount > MAX_COUNTRIES)
        say(L"\nThe library reported %lu records; the table holds %lu.\n",
            (unsigned long)countryCount, (unsigned long)MAX_COUNTRIES);
}

static void ListCountries()
{
    guard_set();
    con_flush(); /* what the library may print follows what is written */
    int32_t rc = JQcpt_CountryList(countryTable, &countryCount);
    bool wrotePast = !guard_intact();
    // The library wrote countryCount through the pointer it was handed.
    // cppcheck-suppress knownConditionTrueFalse
    if (rc != CPTD_OK || countryCount > MAX_COUNTRIES || wrotePast)
        listingFailed = true;

    report_list(rc);
    if (wrotePast)
        say(L"\nThe library wrote past the table of %lu records.\n", (unsigned long)MAX_COUNTRIES);
}

/* ===== Main loop and menu ===== */

enum {
    MENU_LIST_COUNTRIES = 0,
    MENU_EXIT = 1,
    MENU_END_OF_INPUT = 2 /* standard input is exhausted */
};

static bool is_blank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static bool is_digit(int c)
{
    return c >= '0' && c <= '9';
}

/* Throws away the rest of the line; false when input ends first. */
static bool discard_line()
{
    for (;;) {
        int c = con_getc();
        if (c == CON_EOF)
            return false;
        if (c == '\n')
            return true;
    }
}

/*
 * Reads a selection as a "%d" conversion does: blanks and line ends
 * skipped, an optional sign, decimal digits, the first other character
 * left unread. Returns 1 with *selection set, 0 when nothing usable was
 * read (not a number: the rest of the line is discarded; or a number
 * outside the 32-bit range, read whole), -1 at the end of input.
 */
static int read_selection(int32_t *selection)
{
    int c;
    while (is_blank(c = con_peek()))
        con_next();
    if (c == CON_EOF)
        return -1;

    bool negative = c == '-';
    if (c == '-' || c == '+') {
        con_next();
        c = con_peek();
    }
    if (!is_digit(c))
        return discard_line() ? 0 : -1;

    const int64_t limit = negative ? -(int64_t)INT32_MIN : INT32_MAX;
    int64_t value = 0;
    bool fits = true;
    for (; is_digit(c); con_next(), c = con_peek()) {
        if (fits)
            value = value * 10 + (c - '0');
        if (value > limit)
            fits = false;
    }
    if (!fits)
        return 0;
    *selection = (int32_t)(negative ? -value : value);
    return 1;
}

static int ShowMenu()
{
    for (;;) {
        con_clear();
        say(L" CPTD DLL Test Utility \n");
        say(L"--------------------------------------------\n");
        say(L"\n\n");
        say(L" 1. List all the Countries that are supported by CPTD\n");
        say(L"\n");
        say(L"99. EXIT \n");
        say(L" -> ");

        int32_t selection = 0;
        int got = read_selection(&selection);
        if (got < 0)
            return MENU_END_OF_INPUT;
        if (got > 0 && selection == 1)
            return MENU_LIST_COUNTRIES;
        if (got > 0 && selection == 99)
            return MENU_EXIT;
    }
}

/* Waits for Enter: the first character is the line end left after the selection. */
static bool pause_for_enter()
{
    say(L"\n Press enter to continue");
    int lineEnd = con_getc();
    return lineEnd != CON_EOF && con_getc() != CON_EOF;
}

int main()
{
    sys_init();
    for (;;) {
        int action = ShowMenu();
        if (action == MENU_EXIT) {
            say(L"\n EXIT Selected.");
            break;
        }
        if (action == MENU_END_OF_INPUT)
            break;
        ListCountries();
        if (!pause_for_enter())
            break;
    }
    con_flush();
    return listingFailed ? 1 : 0;
}
