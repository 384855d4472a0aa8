// Bytes in as a country file; out, the library keeps its promises: a known
// code, at most 100 records and no write past them, the count set, every
// name zero-terminated inside its field, well-formed UTF-16 with no control
// character, no repeated ID.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "jqcpt.h"

static void check(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "broken promise: %s\n", what);
        abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int fd = -1;
    if (fd < 0) {
        fd = memfd_create("countries", 0);
        check(fd >= 0, "memfd_create");
        char path[64];
        snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        setenv("JQCPT_COUNTRY_FILE", path, 1);
    }
    check(ftruncate(fd, 0) == 0, "ftruncate");
    check(size == 0 || pwrite(fd, data, size, 0) == (ssize_t)size, "pwrite");

    CountryEntry table[CPTD_MAX_COUNTRIES + 1];
    memset(table, 0xA5, sizeof table);
    uint32_t count = 0xDEADBEEF;
    int32_t rc = JQcpt_CountryList(table, &count);

    check(rc == CPTD_OK || rc == CPTD_PARTIAL_LIST || rc == CPTD_TOO_MANY_COUNTRIES ||
              rc == CPTD_FILE_UNREADABLE,
          "known code");
    check(count <= CPTD_MAX_COUNTRIES, "count within the table");
    check(rc != CPTD_FILE_UNREADABLE || count == 0, "no records from an unreadable file");
    check(rc != CPTD_TOO_MANY_COUNTRIES || count == CPTD_MAX_COUNTRIES, "a full table");
    const unsigned char *guard = (const unsigned char *)&table[CPTD_MAX_COUNTRIES];
    for (size_t k = 0; k < sizeof(CountryEntry); k++)
        check(guard[k] == 0xA5, "nothing written past the table");

    for (uint32_t r = 0; r < count; r++) {
        const JQ_WCHAR16 *name = table[r].name;
        size_t len = 0;
        while (len < CPTD_NAME_UNITS && name[len] != 0)
            len++;
        check(len > 0 && len < CPTD_NAME_UNITS, "a name of 1 to 29 units, zero-terminated");
        for (size_t k = 0; k < len; k++) {
            unsigned u = name[k];
            check(u >= 0x20 && !(u >= 0x7F && u <= 0x9F), "no control character");
            if (u >= 0xD800 && u <= 0xDBFF) {
                check(k + 1 < len && name[k + 1] >= 0xDC00 && name[k + 1] <= 0xDFFF, "paired");
                k++;
            } else {
                check(!(u >= 0xDC00 && u <= 0xDFFF), "no lone low surrogate");
            }
        }
        for (uint32_t other = 0; other < r; other++)
            check(table[other].id != table[r].id, "no repeated ID");
    }
    return 0;
}
