/*
 * A test double of the CPTD library: JQcpt_CountryList does what the plan
 * file named by FAKE_JQCPT_PLAN says, one block per call:
 *
 *   call RC [COUNT]      begins a call: return RC, set *count to COUNT
 *                        (left untouched when COUNT is missing)
 *   row ID TEXT          writes the next record: ID and the UTF-8 TEXT
 *                        as UTF-16, zero-terminated
 *   units ID HEX...      writes the next record with exactly these UTF-16
 *                        units (no closing zero when there are 30)
 *   fill N               writes N records "ID k, name Country k"
 *   spill K              writes the K-th record past the end of the table
 *   overrun N            writes N records past the end of the table, one
 *                        after another, each with a name of 29 letters
 *   print TEXT           prints TEXT and a line end through stdio, unflushed
 *   wprint TEXT          the same through wide stdio (wprintf): from then on
 *                        stdout is a wide stream
 *   buffer MODE [SIZE]   gives stdout a buffer of the double's own, 1 MiB or
 *                        SIZE bytes of it: MODE full, line or none (setvbuf)
 *   bulk N               prints N bytes through stdio, unflushed: the lines
 *                        "0000000" to "%07d" of the count, each with its LF
 *                        (N a multiple of 8)
 *   unprotect [BYTE]     makes the page behind a zone of 64 records past the
 *                        table writable, and writes BYTE (1 if missing) into it
 *   unmap                unmaps that page (POSIX)
 *   mapover              maps the plan file over that page, read-only and
 *                        shared (POSIX)
 *   nonblock             makes standard output non-blocking (POSIX)
 *   segv                 raises SIGSEGV, as kill(1) would send it (POSIX)
 *
 * Calls past the last block repeat it. Only spill and overrun write past 100
 * records.
 */
#define _POSIX_C_SOURCE 200809L
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "jqcpt.h"

#if defined(_WIN32)
#include <windows.h>
static void make_writable(void *page)
{
    DWORD before;
    (void)VirtualProtect(page, 4096, PAGE_READWRITE, &before);
}
static void make_nonblocking(void) {}
static void take_page(void *page, const char *file)
{
    (void)page;
    (void)file;
}
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
static void make_writable(void *page)
{
    (void)mprotect(page, 4096, PROT_READ | PROT_WRITE);
}
static void make_nonblocking(void)
{
    (void)fcntl(STDOUT_FILENO, F_SETFL, fcntl(STDOUT_FILENO, F_GETFL) | O_NONBLOCK);
}
/* Unmaps the page, or maps the start of file over it. */
static void take_page(void *page, const char *file)
{
    int fd = file ? open(file, O_RDONLY) : -1;
    if (!file)
        (void)munmap(page, 4096);
    else if (fd >= 0)
        (void)mmap(page, 4096, PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0);
    if (fd >= 0)
        (void)close(fd);
}
#endif

static int calls;
static char ownBuffer[1 << 20]; /* stdout's buffer after "buffer" */

static void utf8_to_record(const char *s, CountryEntry *e)
{
    size_t n = 0;
    const unsigned char *p = (const unsigned char *)s;
    memset(e->name, 0, sizeof e->name);
    while (*p && n < CPTD_NAME_UNITS - 1) {
        unsigned long c = *p++;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (more)
            c &= 0x3F >> more;
        while (more-- > 0 && *p)
            c = (c << 6) | (*p++ & 0x3F);
        if (c >= 0x10000 && n + 2 < CPTD_NAME_UNITS) {
            c -= 0x10000;
            e->name[n++] = (JQ_WCHAR16)(0xD800 + (c >> 10));
            e->name[n++] = (JQ_WCHAR16)(0xDC00 + (c & 0x3FF));
        } else {
            e->name[n++] = (JQ_WCHAR16)c;
        }
    }
}

JQCPT_API int32_t JQ_CALL JQcpt_CountryList(CountryEntry *table, uint32_t *count)
{
    const char *planPath = getenv("FAKE_JQCPT_PLAN");
    FILE *plan = planPath ? fopen(planPath, "rb") : NULL;
    if (!plan)
        return -999;

    /* Find the block for this call: the calls-th "call" line, or the last one. */
    char line[4096];
    long blockStart = -1;
    int block = -1;
    while (block < calls && fgets(line, sizeof line, plan)) {
        if (strncmp(line, "call ", 5) == 0) {
            block++;
            blockStart = ftell(plan) - (long)strlen(line);
        }
    }
    calls++;
    if (blockStart < 0 || fseek(plan, blockStart, SEEK_SET) != 0) {
        (void)fclose(plan);
        return -998;
    }

    int32_t rc = 0;
    uint32_t written = 0;
    int inBlock = 0;
    while (fgets(line, sizeof line, plan)) {
        line[strcspn(line, "\r\n")] = 0;
        if (strncmp(line, "call ", 5) == 0) {
            if (inBlock)
                break;
            inBlock = 1;
            char *p = line + 5, *end;
            rc = (int32_t)strtol(p, &end, 10);
            unsigned long long n = strtoull(end, &p, 10);
            if (p != end)
                *count = (uint32_t)n;
        } else if (strncmp(line, "row ", 4) == 0 && written < CPTD_MAX_COUNTRIES) {
            char *name = line + 4;
            table[written].id = (int32_t)strtol(name, &name, 10);
            utf8_to_record(name + (*name == ' '), &table[written]);
            written++;
        } else if (strncmp(line, "units ", 6) == 0 && written < CPTD_MAX_COUNTRIES) {
            CountryEntry *e = &table[written++];
            char *p = line + 6;
            e->id = (int32_t)strtol(p, &p, 10);
            memset(e->name, 0, sizeof e->name);
            for (int k = 0; k < CPTD_NAME_UNITS && *p; k++)
                e->name[k] = (JQ_WCHAR16)strtoul(p, &p, 16);
        } else if (strncmp(line, "spill ", 6) == 0) {
            long k = strtol(line + 6, NULL, 10);
            utf8_to_record("Spilt", &table[CPTD_MAX_COUNTRIES + k - 1]);
        } else if (strncmp(line, "overrun ", 8) == 0) {
            long n = strtol(line + 8, NULL, 10);
            for (long k = 0; k < n; k++) {
                table[CPTD_MAX_COUNTRIES + k].id = (int32_t)k;
                utf8_to_record("Abcdefghijklmnopqrstuvwxyzabc", &table[CPTD_MAX_COUNTRIES + k]);
            }
        } else if (strncmp(line, "print ", 6) == 0) {
            (void)printf("%s\n", line + 6);
        } else if (strncmp(line, "wprint ", 7) == 0) {
            (void)wprintf(L"%s\n", line + 7);
        } else if (strncmp(line, "buffer ", 7) == 0) {
            char *p = line + 7;
            int mode = strncmp(p, "none", 4) == 0   ? _IONBF
                       : strncmp(p, "line", 4) == 0 ? _IOLBF
                                                    : _IOFBF;
            unsigned long size = strtoul(p + strcspn(p, " "), NULL, 10);
            if (size == 0 || size > sizeof ownBuffer)
                size = sizeof ownBuffer;
            if (setvbuf(stdout, ownBuffer, mode, size) != 0) {
                (void)fclose(plan);
                return -997;
            }
        } else if (strncmp(line, "unprotect", 9) == 0) {
            char *page = (char *)&table[CPTD_MAX_COUNTRIES + 64];
            make_writable(page);
            page[100] = (char)(line[9] ? strtol(line + 9, NULL, 10) : 1);
        } else if (strcmp(line, "unmap") == 0 || strcmp(line, "mapover") == 0) {
            take_page(&table[CPTD_MAX_COUNTRIES + 64], line[0] == 'm' ? planPath : NULL);
        } else if (strcmp(line, "nonblock") == 0) {
            make_nonblocking();
        } else if (strcmp(line, "segv") == 0) {
            (void)raise(SIGSEGV);
        } else if (strncmp(line, "bulk ", 5) == 0) {
            long n = strtol(line + 5, NULL, 10);
            for (long k = 0; k < n / 8; k++)
                (void)printf("%07ld\n", k);
        } else if (strncmp(line, "fill ", 5) == 0) {
            long n = strtol(line + 5, NULL, 10);
            for (long k = 0; k < n && written < CPTD_MAX_COUNTRIES; k++) {
                char name[32];
                (void)snprintf(name, sizeof name, "Country %ld", k);
                table[written].id = (int32_t)k;
                utf8_to_record(name, &table[written]);
                written++;
            }
        }
    }
    (void)fclose(plan);
    return rc;
}
