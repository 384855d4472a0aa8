/*
 * jqcpttst - interactive test console for the CPTD library.
 *
 * Shows a menu; on selection 1 asks the library for the countries CPTD
 * supports and prints them as a table of IDs and names (or the library's
 * warning or error code), then waits for Enter; on selection 99 it ends.
 *
 * Exit status: 0 when every listing of the run got CPTD_OK from the library
 * (or there was none), 1 when any listing got another code. End of input
 * at the menu or at the pause ends the program as EXIT does, without the
 * farewell line.
 */

#include <stdarg.h>
#include <stdint.h>
#include <wchar.h>

#include "jqcpt.h"
#include "jqcpttyp.h"
#include "jqsys.h"
#include "jqcpttst_version.h"

static const char jqcpttst_ident[] JQ_IDENT =
    "@(#) jqbuild  2026-12-08 18:40:00   jqcpttst.cpp /main/jqcpttst/14 ~";

static const char jqcpttst_version[] JQ_IDENT =
    "FileDescription: " JQCPTTST_FILE_DESCRIPTION "; FileVersion: " JQCPTTST_FILE_VERSION
    "; InternalName: " JQCPTTST_INTERNAL_NAME;

/* What con_peek and con_getc return at the end of standard input. */
static const int CON_EOF = -1;

/*
 * ===== Platform =====
 * Everything that differs between POSIX and Windows is in this block:
 *   con_init   prepares the standard streams
 *   con_clear  clears the console before the menu is shown
 *   con_write  queues wide text for standard output
 *   con_flush  makes everything queued visible (done before each wait)
 *   con_peek   the next input character without taking it, or CON_EOF
 *   con_next   takes the character con_peek showed
 *   con_getc   takes one whole character (a multi-unit one included)
 * Input characters that matter to the dialogue are ASCII; anything else
 * only has to be told apart from them.
 */
#if defined(_WIN32)

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>

static wchar_t outBuf[4096];
static size_t outLen;
static wint_t inNext;
static bool inHave;

static void con_init()
{
    /* UTF-8 on redirected streams, Unicode on the console itself */
    _setmode(_fileno(stdout), _O_U8TEXT);
    _setmode(_fileno(stdin), _O_U8TEXT);
}

static void con_flush()
{
    outBuf[outLen] = 0;
    fputws(outBuf, stdout);
    fflush(stdout);
    outLen = 0;
}

static void con_write(const wchar_t *text, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (outLen == sizeof outBuf / sizeof outBuf[0] - 1)
            con_flush();
        outBuf[outLen++] = text[i];
    }
}

static void con_clear()
{
    /* A transcript of redirected output holds the dialogue alone. */
    if (_isatty(_fileno(stdout))) {
        con_flush();
        _wsystem(L"cls");
    }
}

static int con_peek()
{
    if (!inHave) {
        inNext = fgetwc(stdin);
        inHave = true;
    }
    return inNext == WEOF ? CON_EOF : (int)inNext;
}

static void con_next()
{
    if (con_peek() != CON_EOF)
        inHave = false;
}

static int con_getc()
{
    int c = con_peek();
    con_next();
    if (c >= 0xD800 && c <= 0xDBFF && con_peek() >= 0xDC00 && con_peek() <= 0xDFFF)
        con_next();
    return c;
}

#else /* POSIX */

#include <errno.h>
#include <unistd.h>

static char outBuf[16384];
static size_t outLen;
static bool outIsTerminal;
static unsigned char inBuf[4096];
static size_t inPos, inLen;
static bool inEnded;

static void con_init()
{
    outIsTerminal = isatty(STDOUT_FILENO) == 1;
}

static void con_flush()
{
    size_t done = 0;
    while (done < outLen) {
        ssize_t n = write(STDOUT_FILENO, outBuf + done, outLen - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; /* the output is gone; the dialogue goes on unseen */
        done += (size_t)n;
    }
    outLen = 0;
}

/* Output is UTF-8 whatever the locale: the program reads no environment. */
static void con_write(const wchar_t *text, size_t n)
{
    /* Kept in a local: stores into outBuf could otherwise alias outLen. */
    size_t len = outLen;
    for (size_t i = 0; i < n; i++) {
        /* A negative wchar_t turns into a value above U+10FFFF, shown as U+FFFD. */
        uint32_t c = (uint32_t)text[i]; // NOLINT(bugprone-signed-char-misuse,cert-str34-c)
        if (c < 0x80 && len < sizeof outBuf) {
            outBuf[len++] = (char)c; /* most of the text */
            continue;
        }
        if (sizeof outBuf - len < 4) {
            outLen = len;
            con_flush();
            len = 0;
        }
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        unsigned char *out = reinterpret_cast<unsigned char *>(outBuf) + len;
        if (c < 0x80) {
            out[0] = (unsigned char)c;
            len += 1;
        } else if (c < 0x800) {
            out[0] = (unsigned char)(0xC0 | (c >> 6));
            out[1] = (unsigned char)(0x80 | (c & 0x3F));
            len += 2;
        } else if (c < 0x10000) {
            out[0] = (unsigned char)(0xE0 | (c >> 12));
            out[1] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
            out[2] = (unsigned char)(0x80 | (c & 0x3F));
            len += 3;
        } else {
            out[0] = (unsigned char)(0xF0 | (c >> 18));
            out[1] = (unsigned char)(0x80 | ((c >> 12) & 0x3F));
            out[2] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
            out[3] = (unsigned char)(0x80 | (c & 0x3F));
            len += 4;
        }
    }
    outLen = len;
}

static void con_clear()
{
    static const wchar_t homeAndClear[] = L"\033[H\033[2J";
    /* A transcript of redirected output holds the dialogue alone. */
    if (outIsTerminal)
        con_write(homeAndClear, sizeof homeAndClear / sizeof homeAndClear[0] - 1);
}

static int con_peek()
{
    if (inPos == inLen) {
        if (inEnded)
            return CON_EOF;
        ssize_t n;
        do
            n = read(STDIN_FILENO, inBuf, sizeof inBuf);
        while (n < 0 && errno == EINTR);
        if (n <= 0) {
            inEnded = true;
            return CON_EOF;
        }
        inPos = 0;
        inLen = (size_t)n;
    }
    return inBuf[inPos];
}

static void con_next()
{
    if (con_peek() != CON_EOF)
        inPos++;
}

/* Takes one UTF-8 sequence; a stray byte counts as one character. */
static int con_getc()
{
    int c = con_peek();
    con_next();
    int more = c >= 0xF0 && c <= 0xF4   ? 3
               : c >= 0xE0 && c <= 0xEF ? 2
               : c >= 0xC2 && c <= 0xDF ? 1
                                        : 0;
    while (more-- > 0 && con_peek() >= 0x80 && con_peek() <= 0xBF)
        con_next();
    return c;
}

#endif /* platform */

/* ===== Console text ===== */

static bool is_high_surrogate(uint32_t u)
{
    return u >= 0xD800 && u <= 0xDBFF;
}

static bool is_low_surrogate(uint32_t u)
{
    return u >= 0xDC00 && u <= 0xDFFF;
}

static void put_blanks(int n)
{
    static const wchar_t blanks[] = L"                ";
    const int most = (int)(sizeof blanks / sizeof blanks[0]) - 1;
    for (; n > 0; n -= most)
        con_write(blanks, (size_t)(n < most ? n : most));
}

/* Writes a decimal number backwards from end; returns where it starts. */
static wchar_t *decimal(wchar_t *end, unsigned long long magnitude, bool negative)
{
    wchar_t *p = end;
    do
        *--p = (wchar_t)(L'0' + magnitude % 10);
    while ((magnitude /= 10) != 0);
    if (negative)
        *--p = L'-';
    return p;
}

/* Characters in wide text: a surrogate pair (16-bit wchar_t) counts once. */
static int text_chars(const wchar_t *text, size_t n)
{
    int chars = 0;
    for (size_t i = 0; i < n; i++)
        chars += !(i > 0 && is_low_surrogate((uint32_t)text[i]) &&
                   is_high_surrogate((uint32_t)text[i - 1]));
    return chars;
}

/*
 * One formatted write of wide text, the program's only way to write. It
 * knows the conversions the program uses: %d, %lu and %ls (a wide string),
 * each with an optional field width. A field is right-aligned, counts
 * characters, and never cuts its text. The
 * runtime's wide printf is not used: it is slow and, under glibc, tied to
 * the locale.
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

        wchar_t digits[24];
        wchar_t *digitsEnd = digits + sizeof digits / sizeof digits[0];
        const wchar_t *text = p;
        size_t n = 1; /* an unknown conversion is written as it stands */
        if (*p == L'd') {
            long long value = va_arg(args, int);
            text = decimal(digitsEnd, (unsigned long long)(value < 0 ? -value : value), value < 0);
            n = (size_t)(digitsEnd - text);
        } else if (*p == L'u') {
            text = decimal(digitsEnd, va_arg(args, unsigned long), false);
            n = (size_t)(digitsEnd - text);
        } else if (*p == L's') {
            text = va_arg(args, const wchar_t *);
            n = wcslen(text);
        } else if (!*p) {
            break;
        }
        p++;
        put_blanks(width - text_chars(text, n));
        con_write(text, n);
    }
    va_end(args);
}

/* ===== Country list report ===== */

constexpr uint32_t MAX_COUNTRIES = CPTD_MAX_COUNTRIES;

static CountryEntry countryTable[MAX_COUNTRIES];
static uint32_t countryCount;

/* Set once any listing got a code other than CPTD_OK: the exit status. */
static bool listingFailed;

/*
 * Turns a record's name into printable text: UTF-16 decoded, a lone
 * surrogate or a control character shown as U+FFFD (so the library's data
 * never drives the terminal), never read past the field's 30 units.
 */
static void name_text(const CountryEntry *entry, wchar_t *text)
{
    const JQ_WCHAR16 *name = entry->name;
    size_t n = 0;
    for (size_t i = 0; i < CPTD_NAME_UNITS && name[i] != 0; i++) {
        uint32_t c = name[i];
        if (c >= 0x20 && c < 0x7F) {
            text[n++] = (wchar_t)c; /* printable ASCII, most names */
            continue;
        }
        if (is_high_surrogate(c) && i + 1 < CPTD_NAME_UNITS && is_low_surrogate(name[i + 1])) {
            if (sizeof(wchar_t) == 2) {
                text[n++] = (wchar_t)c;
                text[n++] = (wchar_t)name[++i];
                continue;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (name[++i] - 0xDC00u);
        } else if (is_high_surrogate(c) || is_low_surrogate(c) || c < 0x20 ||
                   (c >= 0x7F && c <= 0x9F)) {
            c = 0xFFFD;
        }
        text[n++] = (wchar_t)c;
    }
    text[n] = 0;
}

static void ReportError(int32_t code)
{
    say(L"\n");
    say(L"An Error Has Occurred ... Return code = %d \n", (int)code);
    say(L"\n");
}

static void ListCountries()
{
    int32_t rc = JQcpt_CountryList(countryTable, &countryCount);
    if (rc != CPTD_OK)
        listingFailed = true;

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
        wchar_t name[CPTD_NAME_UNITS + 1];
        name_text(&countryTable[i], name);
        say(L"%8d", (int)countryTable[i].id);
        say(L"%30ls", name);
        say(L"\n");
    }
    if (countryCount > MAX_COUNTRIES)
        say(L"\nThe library reported %lu records; the table holds %lu.\n",
            (unsigned long)countryCount, (unsigned long)MAX_COUNTRIES);
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
        con_flush();

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
    con_flush();
    int lineEnd = con_getc();
    return lineEnd != CON_EOF && con_getc() != CON_EOF;
}

int main()
{
    con_init();
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
