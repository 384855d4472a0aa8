// Bytes in on standard input; out, the utility keeps its promises: no
// crash, no read past a buffer, no loop without end (libFuzzer's -timeout),
// and the library called only for a selection that reads as exactly 1.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "jqcpt.h"

// The dialogue's main: it starts the console afresh at every call (the
// dialogue's own count and status carry over, which the checks allow).
int jqcpttst_main();

static unsigned libraryCalls;

// The library as the utility sees it: a short list with awkward names.
int32_t JQ_CALL JQcpt_CountryList(CountryEntry *table, uint32_t *count)
{
    // 30 units, no closing zero: a pair, controls, lone surrogates, a cut pair.
    static const char16_t awkward[] = u"A\U0001F600\x1B\xDC00\x9B\xD800"
                                      u"BCDEFGHIJKLMNOPQRSTUVW\xD83D";
    static_assert(sizeof awkward == sizeof table[0].name + 2, "30 units");
    memcpy(table[0].name, awkward, sizeof table[0].name);
    table[0].id = INT32_MIN;
    memset(table[1].name, 0, sizeof table[1].name);
    table[1].name[0] = 0x43;
    table[1].id = 7;
    *count = libraryCalls++ % 2 ? 2 : 1000;
    return libraryCalls % 3 ? CPTD_OK : CPTD_PARTIAL_LIST;
}

// How many selections of exactly 1 a "%d" reader with range checks finds,
// counting the way the dialogue consumes input. Only an upper bound is
// needed: every listing must come from a "1" token in the input.
static unsigned ones_in(const uint8_t *data, size_t size)
{
    unsigned ones = 0;
    for (size_t i = 0; i < size; i++)
        if (data[i] == '1' && (i + 1 == size || data[i + 1] < '0' || data[i + 1] > '9'))
            ones++;
    return ones;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int in = -1;
    if (in < 0) {
        in = memfd_create("keyboard", 0);
        int null = open("/dev/null", O_WRONLY);
        if (in < 0 || null < 0 || dup2(null, STDOUT_FILENO) < 0)
            abort();
    }
    if (ftruncate(in, 0) != 0 || (size && pwrite(in, data, size, 0) != (ssize_t)size) ||
        lseek(in, 0, SEEK_SET) != 0 || dup2(in, STDIN_FILENO) < 0)
        abort();

    libraryCalls = 0;
    jqcpttst_main();
    if (libraryCalls > ones_in(data, size)) {
        fprintf(stderr, "listed %u times for %u selections of 1\n", libraryCalls,
                ones_in(data, size));
        abort();
    }
    return 0;
}
