/*
 * console.cpp - the console's shared part: the output buffer and its UTF-8
 * encoding, the input reader, the "%d" reader, the formatted writes and the
 * protected page. Its state is one struct, con. What differs between
 * platforms is behind console_sys.h.
 */

#include "console.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "console_sys.h"
#include "jqcpttyp.h"

/* The room field_start asks for before the largest field, a name's 30 units
   as UTF-8: the field and the blanks it copies in one piece. */
constexpr size_t BLANKS = 32, LARGEST_FIELD = BLANKS + size_t{3} * CPTD_NAME_UNITS;
static_assert(size_t{OUT_BYTES} > LARGEST_FIELD, "the output buffer must hold the largest field");

/* What peek returns at the end of standard input. */
enum { END = -1 };

static struct {
    char out[OUT_BYTES]; /* output not yet written */
    size_t outLen;
    bool isConsole;             /* standard output is a terminal or a console */
    unsigned char in[IN_BYTES]; /* input read and not yet taken */
    size_t inPos, inLen;
    bool inEnded;
    bool afterCR;   /* the last byte taken was a CR: an LF now is its line end's */
    char stop[128]; /* the line written when the library wrote into the page */
    size_t stopLen;
    char *trap;    /* the protected page; null while there is none */
    bool trapLost; /* the library removed the page, and it could not be put back */
} con;

/* Retries a call that failed for a passing reason; false when it failed for good. */
static bool passing_failure(int fd, bool forWriting)
{
    if (errno == EINTR)
        return true;
    return (errno == EAGAIN || errno == EWOULDBLOCK) && sys_wait(fd, forWriting);
}

/*
 * Writes all n bytes to fd, waiting while it is not ready; false when it
 * failed, errno saying why. It calls sys_write and sys_wait alone, so a
 * fault handler may use it.
 */
static bool write_fully(int fd, const char *bytes, size_t n)
{
    for (size_t done = 0; done < n;) {
        long wrote = sys_write(fd, bytes + done, n - done);
        if (wrote > 0)
            done += (size_t)wrote;
        else if (!passing_failure(fd, true))
            return false;
    }
    return true;
}

/* Says on standard error that the page behind the table is not protected. */
static void say_unprotected()
{
    static const char said[] = "jqcpttst: the page behind the table cannot be protected: "
                               "a library that writes far past it is not caught\n";
    (void)write_fully(2, said, sizeof said - 1);
}

void con_start(void *trap, const char *stopText, unsigned long value)
{
    con.isConsole = sys_init();
    /* Formatted here: the fault handler may do no more than write. */
    say(stopText, value);
    con.stopLen = con.outLen < sizeof con.stop ? con.outLen : sizeof con.stop;
    memcpy(con.stop, con.out, con.stopLen);
    con.outLen = 0;
    /* The system's page must not reach beyond the page at trap. */
    size_t page = sys_page_bytes();
    if (page != 0 && CON_PAGE_BYTES % page == 0 && (uintptr_t)trap % page == 0 &&
        sys_catch_writes() && sys_protect(trap, false)) {
        con.trap = static_cast<char *>(trap);
        return;
    }
    say_unprotected();
}

static bool all_zero(const unsigned char *page)
{
    return page[0] == 0 && memcmp(page, page + 1, CON_PAGE_BYTES - 1) == 0;
}

ConPage con_page_check(void *trap)
{
    auto *page = static_cast<unsigned char *>(trap);
    if (con.trap == nullptr) {
        if (con.trapLost)
            return CON_PAGE_CLEAN;   /* nothing there is the program's to read */
        bool clean = all_zero(page); /* never protected: plain memory of the program's */
        if (!clean)
            memset(page, 0, CON_PAGE_BYTES);
        return clean ? CON_PAGE_CLEAN : CON_PAGE_WRITTEN;
    }
    /* Made writable first: that fails for a page the library removed, or
       replaced by one the program may not write. The copy fails, rather
       than faults, where the page cannot be read (a file's past its end). */
    unsigned char copy[CON_PAGE_BYTES];
    ConPage found = !sys_protect(trap, true) || !sys_page_copy(trap, copy) ? CON_PAGE_REPLACED
                    : all_zero(copy)                                       ? CON_PAGE_CLEAN
                                                                           : CON_PAGE_WRITTEN;
    /* A page written or replaced gets a new one in its place rather than
       zeros: what lies there may be a file the library mapped. */
    if (found == CON_PAGE_CLEAN ? sys_protect(trap, false) : sys_page_renew(trap))
        return found;
    con.trap = nullptr;
    con.trapLost = true;
    say_unprotected();
    return found;
}

/* ===== Streams ===== */

[[noreturn]] static void stream_failed(const char *stream)
{
    char line[256];
    int n = snprintf(line, sizeof line, "jqcpttst: %s: %s\n", stream, strerror(errno));
    if (n > 0)
        (void)write_fully(2, line, (size_t)n < sizeof line ? (size_t)n : sizeof line - 1);
    exit(2);
}

static void write_all(const char *bytes, size_t n)
{
    if (!write_fully(1, bytes, n))
        stream_failed("standard output");
}

void guard_written(const void *at)
{
    const char *p = static_cast<const char *>(at);
    if (con.trap == nullptr || p < con.trap || p >= con.trap + CON_PAGE_BYTES)
        return;
    static const char said[] =
        "jqcpttst: the library wrote past the table into protected memory; stopped\n";
    const char *text = "";
    long n = sys_library_bytes(&text, false);
    bool written = write_fully(1, text, n > 0 ? (size_t)n : 0) &&
                   write_fully(1, con.out, con.outLen) && write_fully(1, con.stop, con.stopLen);
    (void)write_fully(2, said, sizeof said - 1);
    sys_output_blocking(false); /* standard output is shared: its mode goes back */
    sys_stop(written ? 1 : 2);
}

void con_flush()
{
    /* What the library printed through the C runtime comes before our text:
       taken from stdio, or flushed by stdio with standard output blocking for
       that flush alone (stdio drops what a non-blocking stream refuses). */
    const char *text = "";
    long n = sys_library_bytes(&text, true);
    if (n < 0) {
        sys_output_blocking(true);
        int flushed = fflush(stdout);
        sys_output_blocking(false);
        if (flushed != 0)
            stream_failed("standard output");
    }
    write_all(text, n > 0 ? (size_t)n : 0);
    write_all(con.out, con.outLen);
    con.outLen = 0;
}

void con_library_call_begins()
{
    sys_output_blocking(true);
}

/* Text stdio refused for the library (a non-blocking stream the library
   set itself, a full disk) is lost: that is said, as for any stream failure. */
void con_library_call_ended()
{
    sys_output_blocking(false);
    if (ferror(stdout)) {
        static const char said[] =
            "jqcpttst: standard output: the C runtime could not write all the library's text\n";
        con_flush();
        (void)write_fully(2, said, sizeof said - 1);
        exit(2);
    }
}

/* The next input byte without taking it, or END; the LF of a CR LF is skipped. */
static int peek()
{
    for (;;) {
        if (con.inPos < con.inLen) {
            if (!con.afterCR || con.in[con.inPos] != '\n')
                return con.in[con.inPos];
            con.inPos++;
            con.afterCR = false;
            continue;
        }
        if (con.inEnded)
            return END;
        /* Flushed only here and before a library call: a script that types
           ahead gets its transcript in few large writes. */
        con_flush();
        long n = sys_read(con.in, sizeof con.in);
        if (n > 0) {
            con.inPos = 0;
            con.inLen = (size_t)n;
        } else if (n == 0) {
            con.inEnded = true;
        } else if (!passing_failure(0, false)) {
            stream_failed("standard input");
        }
    }
}

static void next()
{
    if (peek() != END)
        con.afterCR = con.in[con.inPos++] == '\r';
}

bool con_discard_line()
{
    for (int c; (c = peek()) != END;) {
        next();
        if (c == '\n' || c == '\r')
            return true;
    }
    return false;
}

static bool is_blank(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

static bool is_digit(int c)
{
    return c >= '0' && c <= '9';
}

int con_read_int(int32_t *value)
{
    int c;
    while (is_blank(c = peek()))
        next();
    if (c == END)
        return -1;

    bool negative = c == '-';
    if (c == '-' || c == '+') {
        next();
        c = peek();
    }
    if (!is_digit(c))
        return con_discard_line() ? 0 : -1;

    const int64_t limit = negative ? -(int64_t)INT32_MIN : INT32_MAX;
    int64_t v = 0;
    bool fits = true;
    for (; is_digit(c); next(), c = peek()) {
        if (fits)
            v = v * 10 + (c - '0');
        if (v > limit)
            fits = false;
    }
    if (!fits)
        return 0;
    *value = (int32_t)(negative ? -v : v);
    return 1;
}

/* ===== Text ===== */

/* Writes c as UTF-8 at to and returns the bytes written, 1 to 4. */
static size_t utf8_encode(uint32_t c, char *to)
{
    static const unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    auto *u = reinterpret_cast<unsigned char *>(to);
    size_t n = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    for (size_t k = n - 1; k > 0; k--, c >>= 6)
        u[k] = (unsigned char)(0x80 | (c & 0x3F));
    u[0] = (unsigned char)(lead[n] | c);
    return n;
}

/* Queues one byte of ASCII text: the buffer may be flushed between any two. */
static void put_char(char c)
{
    if (con.outLen == sizeof con.out)
        con_flush();
    con.out[con.outLen++] = c;
}

void con_end()
{
    if (con.isConsole && SYS_END_LINE)
        put_char('\n');
    con_flush();
}

void con_clear()
{
    if (!con.isConsole)
        return;
    con_flush();
    for (const char *p = sys_clear(); *p != 0; p++)
        put_char(*p);
}

/*
 * Starts a right-aligned field of width places for n bytes that take
 * places of them (never cut): writes its blanks and returns where the
 * bytes go. The buffer is flushed only before the whole field.
 */
static char *field_start(size_t n, int places, int width)
{
    static const char blanks[BLANKS] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                        ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    size_t pad = width > places ? (size_t)(width - places) : 0;
    if (sizeof con.out - con.outLen < pad + n + sizeof blanks)
        con_flush();
    char *to = con.out + con.outLen;
    /* A fixed-size copy of blanks costs a few stores; the bytes go over the rest. */
    if (pad <= sizeof blanks)
        memcpy(to, blanks, sizeof blanks);
    else
        memset(to, ' ', pad);
    con.outLen += pad + n;
    return to + pad;
}

/* A field of its own, so that one rule decides when a row's writes flush. */
void put_line_end()
{
    *field_start(1, 1, 0) = '\n';
}

static void put_field(const char *bytes, size_t n, int places, int width)
{
    memcpy(field_start(n, places, width), bytes, n);
}

void put_number(long long value, int width)
{
    unsigned long long magnitude =
        value < 0 ? 0 - (unsigned long long)value : (unsigned long long)value;
    char digits[24];
    char *end = digits + sizeof digits, *p = end;
    do
        *--p = (char)('0' + magnitude % 10);
    while ((magnitude /= 10) != 0);
    if (value < 0)
        *--p = '-';
    put_field(p, (size_t)(end - p), (int)(end - p), width);
}

/*
 * Returns the character that starts at name[*i], a pair taken whole (*i
 * then steps over its second unit). A lone surrogate is U+FFFD, and so is a
 * character a name may not show: it would drive or reorder the terminal.
 * The library's messages show the same characters as '?' (is_unshown in
 * jqcpt/jqcpt.cpp); the two rules must stay alike.
 */
static uint32_t name_char(const JQ_WCHAR16 *name, size_t *i)
{
    uint32_t c = name[*i], low = *i + 1 < CPTD_NAME_UNITS ? name[*i + 1] : 0;
    if (c >= 0xD800 && c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
        ++*i;
        return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
    }
    bool unsafe = c < 0x20 || (c >= 0x7F && c <= 0x9F) /* control characters */
                  || (c >= 0xD800 && c <= 0xDFFF)      /* a lone surrogate */
                  || (c >= 0x202A && c <= 0x202E)      /* bidirectional embeddings, overrides */
                  || (c >= 0x2066 && c <= 0x2069)      /* bidirectional isolates */
                  || c == 0x2028 || c == 0x2029        /* line and paragraph separators */
                  || c == 0xFFFE || c == 0xFFFF;       /* noncharacters */
    return unsafe ? 0xFFFD : c;
}

/* Never reads past the field's 30 units. */
void put_name(const JQ_WCHAR16 *name, int width)
{
    size_t i = 0;
    while (i < CPTD_NAME_UNITS && name[i] - 0x20u < 0x5Fu)
        i++;
    if (i == CPTD_NAME_UNITS || name[i] == 0) {
        /* Printable ASCII alone, most names: written straight where it goes. */
        char *to = field_start(i, (int)i, width);
        for (size_t k = 0; k < i; k++)
            to[k] = (char)name[k];
        return;
    }

    char bytes[CPTD_NAME_UNITS * 3] = {}; /* a unit takes at most 3 bytes, a pair 4 */
    size_t n = 0;
    for (i = 0; i < CPTD_NAME_UNITS && name[i] != 0; i++)
        n += utf8_encode(name_char(name, &i), bytes + n);
    put_field(bytes, n, (int)i, width); /* a place for each unit */
}

void say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    for (const char *p = format; *p != 0; p++) {
        if (p[0] == '%' && p[1] == 'd') {
            put_number(va_arg(args, int), 0);
            p++;
        } else if (p[0] == '%' && p[1] == 'l' && p[2] == 'u') {
            put_number((long long)va_arg(args, unsigned long), 0);
            p += 2;
        } else {
            put_char(*p);
        }
    }
    va_end(args);
}
