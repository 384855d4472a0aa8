/*
 * jqcpt - the CPTD country list that jqcpt(3) describes. Each call reads the
 * country file anew through a buffer of four lines' worth and parses each
 * line where it lies. A read may return fewer bytes than asked anywhere in
 * the file, as network and FUSE file systems do, so only a read that returns
 * nothing marks the end. The file is thus read past the size it had when it
 * was opened, and the limit of 1 MiB holds on what is read. A line that a
 * writer has only half appended when the read reaches it cannot be told
 * from a last line without a line end.
 *
 * The library allocates nothing. Its only state between calls is whether it
 * has named the variables it does not know. A diagnostic goes out in writes
 * of its own through write_error_line, never through stdio, so that none
 * waits in a buffer or mixes with the caller's standard output. The end line
 * says "countries" whatever the number, so that one pattern matches them
 * all.
 */

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <atomic>

#define JQ_HEADER_IDENTS /* this unit carries the headers' identification strings */
#include "jqcpt.h"
#include "jqcpt_sys.h"

static const char jqcpt_ident[] JQ_IDENT =
    "@(#) jqbuild  2026-12-10 09:00:00   jqcpt.cpp /main/jqcpt/8 ~";

/* Only the first LINE_BYTES of a line are parsed. A country line needs far fewer. */
enum { LINE_BYTES = 1024 };

struct LineReader {
    int fd;
    unsigned char buf[4 * LINE_BYTES];
    size_t pos, len; /* buf[pos] to buf[len - 1] are read but not yet returned */
    long total;      /* the number of bytes read from the file */
    bool ended;      /* the end of the file is reached, or reading failed */
    int failure;     /* 0, or the errno value or FILE_ code that says why the file failed */
};

static bool is_blank(unsigned char c)
{
    return c == ' ' || c == '\t';
}

/* Appends more of the file to buf. Returns false at the end of the file or
   when reading fails. */
static bool read_more(LineReader *r)
{
    if (r->ended)
        return false;
    long n = file_read(r->fd, r->buf + r->len, sizeof r->buf - r->len);
    if (n <= 0 || r->total + n > MAX_FILE_BYTES) {
        r->ended = true;
        r->failure = n < 0 ? errno : n > 0 ? (int)FILE_TOO_LARGE : 0;
        return false;
    }
    r->total += n;
    r->len += (size_t)n;
    return true;
}

/* Points *text at the next line in buf and sets *len to its length without
   the line end, but at most LINE_BYTES. Sets *longer when more of the line
   is left, and drops the CR of a CR LF. Returns false at the end of the file.
   It is inline because it has two callers, and a call for every line costs
   the loop a sixth of its time. */
static inline bool read_line(LineReader *r, const unsigned char **text, size_t *len, bool *longer)
{
    for (;;) {
        const unsigned char *start = r->buf + r->pos;
        size_t avail = r->len - r->pos;
        const auto *end = static_cast<const unsigned char *>(memchr(start, '\n', avail));
        size_t n = end ? (size_t)(end - start) : avail;
        if (end || avail > LINE_BYTES || (avail > 0 && r->ended)) {
            *text = start;
            *longer = n > LINE_BYTES;
            *len = *longer ? (size_t)LINE_BYTES : n;
            r->pos += *longer ? (size_t)LINE_BYTES : end ? n + 1 : n;
            if (end && !*longer && *len > 0 && start[*len - 1] == '\r')
                --*len; /* drops the CR of a CR LF */
            return true;
        }
        memmove(r->buf, start, avail); /* keeps the start of a line that the last read cut */
        r->pos = 0;
        r->len = avail;
        if (!read_more(r) && avail == 0)
            return false;
    }
}

/* Each kind of line before LINE_COUNTRY is a reason not to deliver the line,
   and has its message in LINE_REASONS. */
enum LineKind {
    LINE_NO_ID,
    LINE_ID_RANGE,
    LINE_NO_NAME,
    LINE_NAME_LONG,
    LINE_NAME_INVALID,
    LINE_TOO_LONG,
    LINE_STRAY_CR,
    LINE_ID_REPEATS,
    LINE_TOO_MANY,
    LINE_COUNTRY,
    LINE_BLANK,
    LINE_COMMENT,
};

/* LINE_REASONS holds the message for each reason. Its format takes the
   line's number and then the number given here or, for a repeated ID, the
   line that delivered the ID. */
static const struct {
    const char *format;
    long number;
} LINE_REASONS[] = {
    {":%lu: no ID, or the ID is not a number", 0},
    {":%lu: ID outside the 32-bit range", 0},
    {":%lu: no name", 0},
    {":%lu: name longer than %ld UTF-16 units", CPTD_NAME_UNITS - 1},
    {":%lu: name not valid UTF-8 or holding a control character", 0},
    {":%lu: longer than %ld bytes", LINE_BYTES},
    {":%lu: CR not right before the line end", 0},
    {":%lu: ID repeats line %ld", 0},
    {":%lu: more than %ld countries", CPTD_MAX_COUNTRIES},
};
static_assert(sizeof LINE_REASONS / sizeof LINE_REASONS[0] == LINE_COUNTRY, "a reason a kind");

/* Decodes the UTF-8 character at s[*i] and advances *i past what it reads.
   Returns the character, or -1 when the sequence is malformed. */
static long decode_utf8(const unsigned char *s, size_t len, size_t *i)
{
    unsigned char b = s[(*i)++];
    if (b < 0x80)
        return b;
    int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    if (b < 0xC2 || b > 0xF4 || *i + (size_t)more > len)
        return -1;
    long c = b & (0x3F >> more);
    for (int k = 0; k < more; k++) {
        unsigned char t = s[(*i)++];
        if ((t & 0xC0) != 0x80)
            return -1;
        c = (c << 6) | (t & 0x3F);
    }
    static const long least[] = {0, 0x80, 0x800, 0x10000};
    if (c < least[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return -1; /* c is overlong, beyond Unicode or a surrogate */
    return c;
}

/* Returns whether c, a result of decode_utf8, may not stand in a name
   because it is -1 or a control character (C0, DEL or C1). */
static bool is_control(long c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

/* Converts the UTF-8 name s to UTF-16 in name and fills the rest of the
   field with zeros. Returns LINE_COUNTRY, or the reason the name is refused. */
static LineKind parse_name(const unsigned char *s, size_t len, JQ_WCHAR16 *name)
{
    memset(name, 0, CPTD_NAME_UNITS * sizeof name[0]);
    if (len < CPTD_NAME_UNITS) {
        /* Most names are printable ASCII, one unit a byte. The loop has no
           early exit, so that a compiler can vectorize it. */
        unsigned char outside = 0; /* a byte wide, so that a vector holds more */
        for (size_t k = 0; k < len; k++) {
            name[k] = s[k];
            outside |= (unsigned char)(s[k] - 0x20) > 0x5E;
        }
        if (!outside)
            return len > 0 ? LINE_COUNTRY : LINE_NO_NAME;
        memset(name, 0, len * sizeof name[0]); /* the loop below may write fewer units */
    }

    size_t units = 0;
    for (size_t i = 0; i < len;) {
        long c = decode_utf8(s, len, &i);
        if (is_control(c))
            return LINE_NAME_INVALID;
        if (units + (c >= 0x10000 ? 2 : 1) > CPTD_NAME_UNITS - 1)
            return LINE_NAME_LONG;
        if (c >= 0x10000) { /* c takes a surrogate pair */
            name[units++] = (JQ_WCHAR16)(0xD800 + ((c - 0x10000) >> 10));
            c = 0xDC00 + (c & 0x3FF);
        }
        name[units++] = (JQ_WCHAR16)c;
    }
    return units > 0 ? LINE_COUNTRY : LINE_NO_NAME;
}

/* Returns the kind of the line s, leaving a CR to classify_line, and fills
   entry for a country. */
static LineKind parse_id_and_name(const unsigned char *s, size_t end, CountryEntry *entry)
{
    size_t i = 0;
    while (i < end && is_blank(s[i]))
        i++;
    if (i == end)
        return LINE_BLANK;
    if (s[i] == '#')
        return LINE_COMMENT;
    while (end > i && is_blank(s[end - 1]))
        end--;

    bool negative = s[i] == '-';
    if (negative)
        i++;
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    long long id = 0;
    size_t digits = i;
    for (; i < end && s[i] >= '0' && s[i] <= '9'; i++)
        if (id <= limit) /* past the limit, the digits are only skipped */
            id = id * 10 + (s[i] - '0');
    if (i == digits || (i < end && !is_blank(s[i])))
        return LINE_NO_ID;
    if (id > limit)
        return LINE_ID_RANGE;
    while (i < end && is_blank(s[i]))
        i++;
    LineKind kind = parse_name(s + i, end - i, entry->name);
    entry->id = (int32_t)(negative ? -id : id);
    return kind;
}

/*
 * Returns the kind of the line that read_line found and fills entry for a
 * country. When longer is set, reads the rest of the line, where any byte
 * but a blank makes the line too long unless it is a comment. Any CR but
 * that of a CR LF makes the line corrupt, even a comment, because a file
 * that ends its lines with CR alone would otherwise read as one comment.
 */
static LineKind classify_line(LineReader *r, const unsigned char *text, size_t len, bool longer,
                              CountryEntry *entry)
{
    LineKind kind = parse_id_and_name(text, len, entry);
    bool cr = kind != LINE_COUNTRY && memchr(text, '\r', len); /* a country cannot hold one */
    int first = -1; /* the first byte of the rest that is not a blank */
    while (longer && read_line(r, &text, &len, &longer)) {
        cr = cr || memchr(text, '\r', len);
        for (size_t k = 0; k < len && first < 0; k++)
            first = is_blank(text[k]) ? -1 : text[k];
    }
    if (cr)
        return LINE_STRAY_CR;
    if (first < 0 || kind == LINE_COMMENT)
        return kind;
    return kind == LINE_BLANK && first == '#' ? LINE_COMMENT : LINE_TOO_LONG;
}

/*
 * Returns whether a message shows c, a result of decode_utf8, as '?'
 * because it is -1 or a character that would drive or reorder the terminal.
 * The console shows names by the same rule (name_char in
 * jqcpttst/console.cpp), and the two must stay alike.
 */
static bool is_unshown(long c)
{
    return is_control(c) || (c >= 0x202A && c <= 0x202E) /* bidirectional embeddings, overrides */
           || (c >= 0x2066 && c <= 0x2069)               /* bidirectional isolates */
           || c == 0x2028 || c == 0x2029                 /* line and paragraph separators */
           || c == 0xFFFE || c == 0xFFFF;                /* noncharacters */
}

/* A message line holds "jqcpt: ", a value, the rest and the line end. */
enum { REST_BYTES = 256, MESSAGE_BYTES = 7 + SHOWN_BYTES + REST_BYTES + 2 };

/* Appends the n bytes of text to line at *len and advances *len. Writes '?'
   for each character that is_unshown names and for each byte outside a
   valid UTF-8 sequence. */
static void append_shown(char *line, size_t *len, const char *text, size_t n)
{
    const auto *s = reinterpret_cast<const unsigned char *>(text);
    for (size_t i = 0; i < n;) {
        size_t start = i;
        long c = decode_utf8(s, n, &i);
        if (c < 0)
            i = start + 1; /* the first byte alone is not part of a sequence */
        bool unshown = is_unshown(c);
        size_t size = unshown ? 1 : i - start;
        memcpy(line + *len, unshown ? "?" : text + start, size);
        *len += size;
    }
}

/*
 * Writes one line to standard error: "jqcpt: ", the n bytes of value, and
 * what format makes of the other arguments. A value longer than SHOWN_BYTES
 * is cut before a character and marked with "...", so that the rest of the
 * line still fits.
 */
static void write_diagnostic(const char *value, size_t n, const char *format, ...)
{
    char rest[REST_BYTES];
    va_list args;
    va_start(args, format);
    (void)vsnprintf(rest, sizeof rest, format, args);
    va_end(args);
    bool cut = n > SHOWN_BYTES;
    if (cut) {
        n = SHOWN_BYTES - 3;
        for (int k = 0; k < 3 && ((unsigned char)value[n] & 0xC0) == 0x80; k++)
            n--; /* steps back to the start of a character */
    }
    char line[MESSAGE_BYTES];
    size_t len = 0;
    append_shown(line, &len, "jqcpt: ", 7);
    append_shown(line, &len, value, n);
    if (cut)
        append_shown(line, &len, "...", 3);
    append_shown(line, &len, rest, strlen(rest));
    write_error_line(line, len);
}

/* Returns c in lower case when it is an ASCII capital, or else c. */
static char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

/* Returns whether the n bytes at a and b differ at most in ASCII case. */
static bool same_but_case(const char *a, const char *b, size_t n)
{
    for (size_t k = 0; k < n; k++)
        if (ascii_lower(a[k]) != ascii_lower(b[k]))
            return false;
    return true;
}

/* Reports a variable whose name begins with JQCPT_, in any case, but is
   none of the library's variables as the system compares names. */
static void warn_unknown_variable(const char *name, size_t len)
{
    static const char *const known[] = {"JQCPT_COUNTRY_FILE", "JQCPT_DIAGNOSTICS"};
    if (len < 6 || !same_but_case(name, "JQCPT_", 6))
        return;
    for (const char *k : known)
        if (strlen(k) == len &&
            (VARIABLE_CASE_IGNORED ? same_but_case(k, name, len) : memcmp(k, name, len) == 0))
            return;
    write_diagnostic(name, len, " is not a variable of this library");
}

/* Sets *count to 0 and, with diagnose, reports why the file at path cannot
   be read. Returns CPTD_FILE_UNREADABLE. */
static int32_t fail_unreadable(uint32_t *count, const char *path, int error, bool diagnose)
{
    *count = 0;
    if (diagnose)
        write_diagnostic(path, strlen(path), ": %s",
                         error == FILE_NOT_REGULAR ? "not a regular file"
                         : error == FILE_TOO_LARGE ? "larger than 1 MiB"
                         : error == FILE_NO_FOLDER ? "the library's own folder is not known"
                                                   : strerror(error));
    return CPTD_FILE_UNREADABLE;
}

/* An open-addressing set holds the IDs delivered so far and the line of
   each. It has room for twice the table, and a line of 0 marks a free slot. */
enum { ID_SLOTS = 256 };
static_assert(ID_SLOTS >= 2 * CPTD_MAX_COUNTRIES, "the set never fills");

struct IdSet {
    int32_t id[ID_SLOTS];
    uint32_t line[ID_SLOTS];
};

/* Returns the slot that holds id, or else the free slot where id belongs. */
static unsigned find_id_slot(const IdSet *set, int32_t id)
{
    unsigned k = ((uint32_t)id * 2654435761u) >> 24; /* Fibonacci hashing keeps 8 bits */
    while (set->line[k] && set->id[k] != id)
        k = (k + 1) % ID_SLOTS;
    return k;
}

/* Fills table from the country file and sets *count, and with diagnose
   reports each line it does not deliver. path receives the file's path as
   messages show it. Returns the code for JQcpt_CountryList. */
static int32_t list_countries(CountryEntry *table, uint32_t *count, char *path, bool diagnose)
{
    LineReader reader = {};
    reader.fd = open_country_file(&reader.failure, path);
    if (reader.fd < 0)
        return fail_unreadable(count, path, reader.failure, diagnose);

    IdSet ids = {};
    uint32_t delivered = 0, lines = 0;
    bool corrupt = false, tooMany = false, longer = false;
    const unsigned char *text = nullptr;
    size_t len = 0;
    while (reader.len < 3 && read_more(&reader))
        ;
    if (reader.len >= 3 && memcmp(reader.buf, "\xEF\xBB\xBF", 3) == 0)
        reader.pos = 3; /* skips a byte-order mark */
    while (read_line(&reader, &text, &len, &longer)) {
        lines++;
        CountryEntry entry = {}; /* the analyser cannot see that a country is filled */
        LineKind kind = classify_line(&reader, text, len, longer, &entry);
        if (kind == LINE_BLANK || kind == LINE_COMMENT)
            continue;
        unsigned slot = 0;
        if (kind == LINE_COUNTRY) {
            slot = find_id_slot(&ids, entry.id);
            if (!ids.line[slot] && delivered < CPTD_MAX_COUNTRIES) {
                ids.line[slot] = lines;
                ids.id[slot] = entry.id;
                table[delivered++] = entry;
                continue;
            }
            kind = ids.line[slot] ? LINE_ID_REPEATS : LINE_TOO_MANY;
        }
        tooMany = tooMany || kind == LINE_TOO_MANY;
        corrupt = corrupt || kind != LINE_TOO_MANY;
        if (diagnose)
            write_diagnostic(path, strlen(path), LINE_REASONS[kind].format, (unsigned long)lines,
                             kind == LINE_ID_REPEATS ? (long)ids.line[slot]
                                                     : LINE_REASONS[kind].number);
    }
    file_close(reader.fd);
    if (reader.failure)
        return fail_unreadable(count, path, reader.failure, diagnose);
    *count = delivered;
    if (corrupt)
        return CPTD_PARTIAL_LIST;
    return tooMany ? CPTD_TOO_MANY_COUNTRIES : CPTD_OK;
}

/* Says whether the environment has been checked for unknown JQCPT_ variables. */
static std::atomic_flag variablesChecked = ATOMIC_FLAG_INIT;

extern "C" JQCPT_API int32_t JQ_CALL JQcpt_CountryList(CountryEntry *table, uint32_t *count)
{
    bool diagnose = diagnostics_on();
    if (!variablesChecked.test_and_set() || diagnose)
        for_each_variable(warn_unknown_variable);

    char path[PATH_BYTES];
    const char *reported = "no file read, a null table or count";
    int32_t code = CPTD_BAD_ARGUMENT;
    if (table && count) {
        code = list_countries(table, count, path, diagnose);
        reported = path;
    }
    if (diagnose)
        write_diagnostic(reported, strlen(reported), ": %lu countries delivered, code %ld",
                         (unsigned long)(table && count ? *count : 0), (long)code);
    return code;
}
