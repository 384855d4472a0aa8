/*
 * jqcpt - the CPTD country list.
 *
 * At every call JQcpt_CountryList reads the country file afresh: the file
 * named by JQCPT_COUNTRY_FILE, or else the one installed with the library
 * (JQCPT_DATA_RELPATH, relative to the library's own folder).
 *
 * The file is UTF-8 text, a byte-order mark at its start skipped, LF or
 * CRLF line ends. Blank lines and lines whose first non-blank character is
 * '#' are skipped. A country line is: optional blanks, a decimal ID that
 * fits 32 bits (optional minus sign), blanks or tabs, and the name up to
 * the end of the line, trailing blanks removed.
 *
 * The library allocates nothing and keeps no state between calls.
 */

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "jqcpt.h"

static const char jqcpt_ident[] JQ_IDENT =
    "@(#) jqbuild  2026-12-08 21:40:00   jqcpt.cpp /main/jqcpt/6 ~";

/*
 * ===== Platform =====
 * Opening the country file and reading it, for POSIX and Windows:
 * file_open_countries opens the named or the default file (a descriptor,
 * or -1 when it is missing or not a regular file) and gives its size,
 * file_read, file_close.
 */
#if defined(_WIN32)

#include <io.h>
#include <wchar.h>
#include <windows.h>

static int file_open(const wchar_t *path, long long *size)
{
    int fd = _wopen(path, _O_RDONLY | _O_BINARY);
    struct _stat64 st;
    if (fd >= 0 && (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)) {
        _close(fd);
        return -1;
    }
    *size = fd >= 0 ? (long long)st.st_size : 0;
    return fd;
}

static int file_open_countries(long long *size)
{
    const wchar_t *named = _wgetenv(L"JQCPT_COUNTRY_FILE");
    if (named && *named)
        return file_open(named, size);

    /* The default file lies relative to this DLL. */
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCWSTR)(void *)&JQcpt_CountryList, &self))
        return -1;
    wchar_t path[MAX_PATH + 64];
    DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return -1;
    wchar_t *slash = wcsrchr(path, L'\\');
    size_t dir = slash ? (size_t)(slash - path + 1) : 0;
    int written =
        swprintf(path + dir, sizeof path / sizeof path[0] - dir, L"%hs", JQCPT_DATA_RELPATH);
    return written > 0 ? file_open(path, size) : -1;
}

static long file_read(int fd, unsigned char *buf, size_t size)
{
    return _read(fd, buf, (unsigned)size);
}

static void file_close(int fd)
{
    _close(fd);
}

#else /* POSIX */

#include <dlfcn.h>
#include <unistd.h>

static int file_open(const char *path, long long *size)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd >= 0 && (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        close(fd);
        return -1;
    }
    *size = fd >= 0 ? (long long)st.st_size : 0;
    return fd;
}

static int file_open_countries(long long *size)
{
    const char *named = getenv("JQCPT_COUNTRY_FILE");
    if (named && *named)
        return file_open(named, size);

    /* The default file lies relative to this library. */
    Dl_info info;
    if (!dladdr((void *)&JQcpt_CountryList, &info) || !info.dli_fname)
        return -1;
    const char *lib = info.dli_fname;
    const char *slash = strrchr(lib, '/');
    int dir = slash ? (int)(slash - lib + 1) : 0;
    char path[4096];
    int written = snprintf(path, sizeof path, "%.*s%s", dir, lib, JQCPT_DATA_RELPATH);
    return written > 0 && (size_t)written < sizeof path ? file_open(path, size) : -1;
}

static long file_read(int fd, unsigned char *buf, size_t size)
{
    ssize_t n;
    do
        n = read(fd, buf, size);
    while (n < 0 && errno == EINTR);
    return (long)n;
}

static void file_close(int fd)
{
    close(fd);
}

#endif /* platform */

/* ===== Reading lines ===== */

/* A country file is a few kilobytes; anything this large is not one. */
static const long MAX_FILE_BYTES = 1L << 20;

/* Bytes of a line kept for parsing; a country line needs far fewer. */
enum { LINE_BYTES = 1024 };

/*
 * Lines are parsed where they lie in buf. A line cut by the end of what is
 * read is moved to the front of buf and completed there; one longer than
 * LINE_BYTES keeps its first LINE_BYTES in spill, and the rest is only
 * looked at.
 */
struct LineReader {
    int fd;
    unsigned char buf[4 * LINE_BYTES];
    size_t pos, len;
    long total;
    long long size; /* as the file system gave it when the file was opened */
    bool ended;     /* the end of the file is reached */
    bool failed;    /* read error, or the file is too large */
    unsigned char spill[LINE_BYTES];
};

struct Line {
    const unsigned char *text; /* without the line end */
    size_t len;
    bool overflowText;       /* something other than blanks fell past text */
    unsigned char firstPast; /* the first such byte: '#' begins a comment */
};

static bool is_blank(unsigned char c)
{
    return c == ' ' || c == '\t';
}

/* Reads more of the file after what buf holds; false at its end or on an error. */
static bool fill(LineReader *r)
{
    if (r->failed || r->ended || r->len == sizeof r->buf)
        return false;
    long n = file_read(r->fd, r->buf + r->len, sizeof r->buf - r->len);
    if (n <= 0 || r->total + n > MAX_FILE_BYTES) {
        r->ended = n == 0;
        r->failed = n != 0;
        return false;
    }
    /*
     * A read may return less than asked anywhere in the file (network and
     * FUSE file systems do): the end is a read of nothing, or the size the
     * file had when it was opened, which saves that last read.
     */
    r->total += n;
    r->ended = r->size > 0 && r->total >= r->size;
    r->len += (size_t)n;
    return true;
}

/* Notes what of a line falls past its kept text: blanks and CR do not count. */
static void look_past(Line *line, const unsigned char *piece, size_t n)
{
    for (size_t k = 0; k < n && !line->overflowText; k++) {
        line->overflowText = !is_blank(piece[k]) && piece[k] != '\r';
        line->firstPast = piece[k];
    }
}

/* Finishes a line longer than LINE_BYTES whose line end is not read yet. */
static void read_long_line(LineReader *r, Line *line)
{
    memcpy(r->spill, r->buf + r->pos, LINE_BYTES);
    line->text = r->spill;
    line->len = LINE_BYTES;
    r->pos += LINE_BYTES;
    for (;;) {
        const unsigned char *start = r->buf + r->pos;
        size_t avail = r->len - r->pos;
        const auto *end = static_cast<const unsigned char *>(memchr(start, '\n', avail));
        look_past(line, start, end ? (size_t)(end - start) : avail);
        if (end) {
            r->pos += (size_t)(end - start) + 1;
            return;
        }
        r->pos = r->len = 0;
        if (!fill(r))
            return;
    }
}

/* Gives the next line without its line end; false at the end of the file. */
static bool read_line(LineReader *r, Line *line)
{
    line->overflowText = false;
    line->firstPast = 0;
    for (;;) {
        const unsigned char *start = r->buf + r->pos;
        size_t avail = r->len - r->pos;
        const auto *end = static_cast<const unsigned char *>(memchr(start, '\n', avail));
        if (end || (avail > 0 && (r->failed || r->ended))) {
            size_t n = end ? (size_t)(end - start) : avail;
            line->text = start;
            line->len = n < (size_t)LINE_BYTES ? n : (size_t)LINE_BYTES;
            if (n > LINE_BYTES)
                look_past(line, start + LINE_BYTES, n - LINE_BYTES);
            r->pos += end ? n + 1 : n;
            break;
        }
        if (avail > LINE_BYTES) {
            read_long_line(r, line);
            break;
        }
        memmove(r->buf, start, avail); /* the start of a line cut by the last read */
        r->pos = 0;
        r->len = avail;
        if (!fill(r) && avail == 0)
            return false;
    }
    if (line->len > 0 && line->text[line->len - 1] == '\r')
        line->len--;
    return true;
}

/* ===== Parsing a line ===== */

enum LineKind { LINE_SKIP, LINE_COUNTRY, LINE_CORRUPT };

/* Decodes one UTF-8 character at s[*i]; -1 when it is malformed. */
static long decode_utf8(const unsigned char *s, size_t len, size_t *i)
{
    unsigned char b = s[(*i)++];
    if (b < 0x80)
        return b;
    int more = b >= 0xC2 && b <= 0xDF   ? 1
               : b >= 0xE0 && b <= 0xEF ? 2
               : b >= 0xF0 && b <= 0xF4 ? 3
                                        : -1;
    if (more < 0 || *i + (size_t)more > len)
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
        return -1; /* overlong, beyond Unicode, or a surrogate */
    return c;
}

/* UTF-8 name to UTF-16, zero-filled; false if invalid, a control or too long. */
static bool encode_name(const unsigned char *s, size_t len, JQ_WCHAR16 *name)
{
    memset(name, 0, CPTD_NAME_UNITS * sizeof name[0]);
    size_t units = 0, i = 0;
    if (len < CPTD_NAME_UNITS) {
        /* Printable ASCII alone, most names: a unit a byte, in a loop with
           no early exit, which the compiler turns into vector code. */
        unsigned char outside = 0; /* bytes throughout: more of them to a vector */
        for (size_t k = 0; k < len; k++) {
            name[k] = s[k];
            outside |= (unsigned char)(s[k] - 0x20) > 0x5E;
        }
        if (!outside)
            return len > 0;
        /* The ASCII before the first other character is in place already. */
        while (s[i] - 0x20u < 0x5Fu)
            i++;
        units = i;
        memset(name + i, 0, (len - i) * sizeof name[0]);
    }

    while (i < len) {
        long c = s[i];
        if ((unsigned char)(s[i] - 0x20) < 0x5F) {
            i++; /* printable ASCII */
        } else {
            c = decode_utf8(s, len, &i);
            if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
                return false; /* malformed, or a control character */
        }
        if (c >= 0x10000) {
            if (units + 2 > CPTD_NAME_UNITS - 1)
                return false;
            c -= 0x10000;
            name[units++] = (JQ_WCHAR16)(0xD800 + (c >> 10));
            name[units++] = (JQ_WCHAR16)(0xDC00 + (c & 0x3FF));
        } else {
            if (units + 1 > CPTD_NAME_UNITS - 1)
                return false;
            name[units++] = (JQ_WCHAR16)c;
        }
    }
    return units > 0;
}

static LineKind parse_line(const Line *line, CountryEntry *entry)
{
    const auto *s = reinterpret_cast<const unsigned char *>(line->text);
    size_t end = line->len;
    size_t i = 0;
    while (i < end && is_blank(s[i]))
        i++;
    if (i == end && (!line->overflowText || line->firstPast == '#'))
        return LINE_SKIP; /* blank, or a comment behind a great many blanks */
    if (i < end && s[i] == '#')
        return LINE_SKIP;
    if (line->overflowText)
        return LINE_CORRUPT;
    while (end > i && is_blank(s[end - 1]))
        end--;

    bool negative = s[i] == '-';
    if (negative)
        i++;
    const long long limit = negative ? 2147483648LL : 2147483647LL;
    long long id = 0;
    size_t digits = i;
    for (; i < end && s[i] - (unsigned)'0' < 10u && id <= limit; i++)
        id = id * 10 + (s[i] - '0');
    if (i == digits || id > limit || i == end || !is_blank(s[i]))
        return LINE_CORRUPT; /* no ID, not a number or out of range, or no name */
    while (i < end && is_blank(s[i]))
        i++;
    if (!encode_name(s + i, end - i, entry->name))
        return LINE_CORRUPT;
    entry->id = (int32_t)(negative ? -id : id);
    return LINE_COUNTRY;
}

/* ===== The country list ===== */

/* The IDs delivered so far: open addressing, room for twice the table. */
enum { ID_SLOTS = 256 };
static_assert(ID_SLOTS >= 2 * CPTD_MAX_COUNTRIES, "the set never fills");

struct IdSet {
    int32_t id[ID_SLOTS];
    bool used[ID_SLOTS];
};

/* Finds id, or the free slot where it belongs. */
static unsigned id_slot(const IdSet *set, int32_t id)
{
    unsigned k = ((uint32_t)id * 2654435761u) >> 24; /* Fibonacci hashing to 8 bits */
    while (set->used[k] && set->id[k] != id)
        k = (k + 1) % ID_SLOTS;
    return k;
}

extern "C" JQCPT_API int32_t JQ_CALL JQcpt_CountryList(CountryEntry *table, uint32_t *count)
{
    if (!table || !count)
        return CPTD_BAD_ARGUMENT;

    LineReader reader;
    reader.fd = file_open_countries(&reader.size);
    if (reader.fd < 0) {
        *count = 0;
        return CPTD_FILE_UNREADABLE;
    }
    reader.pos = reader.len = 0;
    reader.total = 0;
    reader.ended = false;
    reader.failed = reader.size > MAX_FILE_BYTES;

    Line line;
    IdSet ids;
    memset(ids.used, 0, sizeof ids.used);
    uint32_t delivered = 0;
    bool corrupt = false, tooMany = false;
    while (reader.len < 3 && fill(&reader))
        ;
    if (reader.len >= 3 && memcmp(reader.buf, "\xEF\xBB\xBF", 3) == 0)
        reader.pos = 3; /* a byte-order mark */
    while (read_line(&reader, &line)) {
        CountryEntry entry;
        switch (parse_line(&line, &entry)) {
        case LINE_SKIP:
            break;
        case LINE_CORRUPT:
            corrupt = true;
            break;
        case LINE_COUNTRY: {
            unsigned slot = id_slot(&ids, entry.id);
            if (ids.used[slot]) {
                corrupt = true; /* repeats a delivered ID */
            } else if (delivered == CPTD_MAX_COUNTRIES) {
                tooMany = true;
            } else {
                ids.used[slot] = true;
                ids.id[slot] = entry.id;
                table[delivered++] = entry;
            }
            break;
        }
        }
    }
    file_close(reader.fd);

    if (reader.failed) {
        *count = 0;
        return CPTD_FILE_UNREADABLE;
    }
    *count = delivered;
    if (corrupt)
        return CPTD_PARTIAL_LIST;
    return tooMany ? CPTD_TOO_MANY_COUNTRIES : CPTD_OK;
}
