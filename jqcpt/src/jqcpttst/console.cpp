/*
 * console.cpp - the part of the console that all platforms share. It holds
 * the output buffer and its UTF-8 encoding, the input reader, the "%d"
 * reader and the formatted writes. Its state is the struct con. The
 * platform files, behind console_sys.h, keep a little state of their own.
 *
 * Output is flushed before a read, before a library call, before the screen
 * is cleared and when the buffer is full. A script that types ahead thus
 * gets its transcript in a few large writes.
 *
 * A CR ends a line at once. The LF of a CR LF is skipped when it comes and
 * never waited for, so that input whose lines end in CR alone is answered
 * at once.
 */

#include "console.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "console_sys.h"

/* field_start writes at least BLANKS blanks, because a fill of fixed size
   costs a few stores. The largest field is a name of CON_NAME_UNITS_MAX
   units, each 3 bytes of UTF-8 at most. */
constexpr size_t BLANKS = 32, LARGEST_FIELD = BLANKS + size_t{3} * CON_NAME_UNITS_MAX;
static_assert(size_t{OUT_BYTES} > LARGEST_FIELD, "the output buffer must hold the largest field");

static struct {
    char out[OUT_BYTES]; /* output not yet written */
    size_t outLen;
    bool isConsole;             /* standard output is a terminal or a console */
    unsigned char in[IN_BYTES]; /* input read and not yet taken */
    size_t inPos, inLen;
    bool inEnded;
    bool afterCR; /* the last byte taken was a CR, so an LF now ends its line */
} con;

/* Returns whether a call on fd that failed may be made again. It may after
   a signal, and after "not yet" once the stream is ready, which it waits for. */
static bool may_retry(int fd, bool forWriting)
{
    if (errno == EINTR)
        return true;
    return (errno == EAGAIN || errno == EWOULDBLOCK) && sys_wait(fd, forWriting);
}

/* Writes all n bytes to fd, waiting while it is not ready. Returns false
   with errno set when the stream failed. A fault handler may call it. */
static bool write_fully(int fd, const char *bytes, size_t n)
{
    for (size_t done = 0; done < n;) {
        long wrote = sys_write(fd, bytes + done, n - done);
        if (wrote > 0)
            done += (size_t)wrote;
        else if (!may_retry(fd, true))
            return false;
    }
    return true;
}

void con_error(const char *line)
{
    (void)write_fully(2, line, strlen(line));
}

/* Writes the line to standard error and ends the program with status, at
   once when a fault handler is the caller. */
[[noreturn]] static void quit(int status, const char *line, bool atFault)
{
    con_error(line);
    if (!atFault)
        exit(status);
    sys_output_blocking(false); /* other processes share standard output and its mode */
    sys_stop(status);
}

/* Ends the program because the stream failed, saying why. */
[[noreturn]] static void stream_failed(const char *stream)
{
    char line[256];
    (void)snprintf(line, sizeof line, "jqcpttst: %s: %s\n", stream, strerror(errno));
    quit(2, line, false);
}

/* Writes all n bytes to standard output, or ends the program when it fails. */
static void write_all(const char *bytes, size_t n)
{
    if (!write_fully(1, bytes, n))
        stream_failed("standard output");
}

void con_start()
{
    con.isConsole = sys_init();
}

void con_stop_at_fault(const char *last, size_t n, const char *said)
{
    const char *text = "";
    long held = sys_stdout_pending(&text, false);
    bool written = write_fully(1, text, held > 0 ? (size_t)held : 0) &&
                   write_fully(1, con.out, con.outLen) && write_fully(1, last, n);
    quit(written ? 1 : 2, said, true);
}

void con_flush()
{
    /* What the library printed through the C runtime comes before our text.
       It is taken from stdio, or else flushed by stdio with standard output
       blocking for that flush alone, since stdio drops what a non-blocking
       stream refuses. */
    const char *text = "";
    long n = sys_stdout_pending(&text, true);
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

void con_library_call_ended()
{
    sys_output_blocking(false);
    /* The library's text that stdio could not write is lost, as on a full
       disk or on a stream the library made non-blocking itself. */
    if (ferror(stdout)) {
        con_flush();
        quit(2, "jqcpttst: standard output: the C runtime could not write all the library's text\n",
             false);
    }
}

/* Returns the next input byte without taking it, or EOF. It skips the LF
   of a CR LF. */
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
            return EOF;
        con_flush();
        long n = sys_read(con.in, sizeof con.in);
        if (n > 0) {
            con.inPos = 0;
            con.inLen = (size_t)n;
        } else if (n == 0) {
            con.inEnded = true;
        } else if (!may_retry(0, false)) {
            stream_failed("standard input");
        }
    }
}

/* Takes the next input byte, if there is one. */
static void take_byte()
{
    if (peek() != EOF)
        con.afterCR = con.in[con.inPos++] == '\r';
}

bool con_discard_line()
{
    for (int c; (c = peek()) != EOF;) {
        take_byte();
        if (c == '\n' || c == '\r')
            return true;
    }
    return false;
}

static bool is_space(int c)
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
    while (is_space(c = peek()))
        take_byte();
    if (c == EOF)
        return -1;

    bool negative = c == '-';
    if (c == '-' || c == '+') {
        take_byte();
        c = peek();
    }
    if (!is_digit(c))
        return con_discard_line() ? 0 : -1;

    /* Past the limit, v stops growing and the digits are only read. */
    const int64_t limit = negative ? -(int64_t)INT32_MIN : INT32_MAX;
    int64_t v = 0;
    for (; is_digit(c); take_byte(), c = peek())
        if (v <= limit)
            v = v * 10 + (c - '0');
    if (v > limit)
        return 0;
    *value = (int32_t)(negative ? -v : v);
    return 1;
}

/* Writes c as UTF-8 at to and returns the number of bytes written, 1 to 4. */
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

/* Queues one byte of ASCII text. The buffer may be flushed between any two. */
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

/* Starts a field of width places for n bytes that take places of them, and
   writes its blanks. Returns where the n bytes go. The buffer is flushed only
   before a whole field, so that no field is split between two writes. */
static char *field_start(size_t n, int places, int width)
{
    size_t pad = width > places ? (size_t)(width - places) : 0;
    if (sizeof con.out - con.outLen < pad + n + BLANKS)
        con_flush();
    char *to = con.out + con.outLen;
    /* The field's bytes then go over the blanks past pad. */
    if (pad <= BLANKS)
        memset(to, ' ', BLANKS);
    else
        memset(to, ' ', pad);
    con.outLen += pad + n;
    return to + pad;
}

/* Writes the line end as a field of its own, so that one rule decides when
   a row's writes flush. */
void con_put_line_end()
{
    *field_start(1, 1, 0) = '\n';
}

/* Writes the n bytes, which take places places, right-aligned in a field of
   width places. */
static void put_field(const char *bytes, size_t n, int places, int width)
{
    memcpy(field_start(n, places, width), bytes, n);
}

void con_put_number(long long value, int width)
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
 * Returns the character that starts at name[*i], of units units. A
 * surrogate pair is taken whole, and *i then steps over its second unit. A
 * lone surrogate becomes U+FFFD, and so does a character that would drive
 * or reorder the terminal. The library's messages show the same characters
 * as '?' (is_unshown in jqcpt/jqcpt.cpp), and the two rules must stay alike.
 */
static uint32_t name_char(const JQ_WCHAR16 *name, size_t units, size_t *i)
{
    uint32_t c = name[*i], low = *i + 1 < units ? name[*i + 1] : 0;
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

void con_put_name(const JQ_WCHAR16 *name, size_t units, int width)
{
    size_t i = 0;
    while (i < units && name[i] - 0x20u < 0x5Fu)
        i++;
    if (i == units || name[i] == 0) {
        /* Printable ASCII alone, as most names are, goes straight into place. */
        char *to = field_start(i, (int)i, width);
        for (size_t k = 0; k < i; k++)
            to[k] = (char)name[k];
        return;
    }

    char bytes[CON_NAME_UNITS_MAX * 3] = {}; /* a unit takes at most 3 bytes, a pair 4 */
    size_t n = 0;
    for (i = 0; i < units && name[i] != 0; i++)
        n += utf8_encode(name_char(name, units, &i), bytes + n);
    put_field(bytes, n, (int)i, width);
}

void con_say(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    for (const char *p = format; *p != 0; p++) {
        if (p[0] == '%' && p[1] == 'd') {
            con_put_number(va_arg(args, int), 0);
            p++;
        } else if (p[0] == '%' && p[1] == 'l' && p[2] == 'u') {
            con_put_number((long long)va_arg(args, unsigned long), 0);
            p += 2;
        } else {
            put_char(*p);
        }
    }
    va_end(args);
}
