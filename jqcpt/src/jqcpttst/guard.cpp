/*
 * guard.cpp - catches a library that writes past the table it is handed.
 *
 * The table lies in a page-aligned store. Right after it comes a zone of
 * GUARD_RECORDS records, which holds GUARD_BYTE throughout before every
 * call, and right after the zone a page that the program cannot write.
 * Nothing of the program's own lies between the table and the page. A
 * write into the page faults, and the fault handler stops the program. A
 * write into the zone is found after the call, and so is a write into a
 * page whose protection the library lifted. Where the page cannot be
 * protected, guard_start says so, and the page is checked after each call
 * as the zone is.
 *
 * A page that the library wrote, unmapped or replaced is renewed after the
 * call, so that each such call is reported once, and the page is read-only
 * again after every call, whatever the library did to its protection. A
 * page that cannot be renewed is abandoned. It is no longer read, and a
 * write into it then goes unseen or ends the program. The platform's calls
 * are behind guard_sys.h.
 *
 * Some writes cannot be seen. A write of GUARD_BYTE into the zone, or of
 * zeros into the page, leaves it as it was. A library that maps over the
 * page something the program may write, or unmaps it and leaves the place
 * to another mapping, has that mapping read, and reported as written.
 */

#include "guard.h"

#include <stdio.h>
#include <string.h>

#include "console.h"
#include "guard_sys.h"

enum { GUARD_RECORDS = 64 };
static const unsigned char GUARD_BYTE = 0xA5;
constexpr size_t TABLE_AND_ZONE_BYTES = sizeof(CountryEntry) * (CPTD_MAX_COUNTRIES + GUARD_RECORDS);

static struct alignas(GUARD_PAGE_BYTES) {
    // Room that puts the zone's end on a page boundary; never used.
    // cppcheck-suppress unusedStructMember
    unsigned char before[GUARD_PAGE_BYTES - TABLE_AND_ZONE_BYTES % GUARD_PAGE_BYTES];
    CountryEntry table[CPTD_MAX_COUNTRIES];
    CountryEntry zone[GUARD_RECORDS];
    unsigned char page[GUARD_PAGE_BYTES];
} store;
static_assert(offsetof(decltype(store), page) % GUARD_PAGE_BYTES == 0,
              "the page starts right after the zone");

CountryEntry *const guardedTable = store.table;

const char GUARD_WROTE_PAST_FORMAT[] = "\nThe library wrote past the table of %lu records.\n";

/* Set while the page is read-only between calls, so that a write into it
   faults. During a call's check it is briefly writable. */
static bool pageProtected;
/* Set once the page could not be put back in order after a call. The page
   may then be unmapped, so it is no longer read. */
static bool pageAbandoned;

/* GUARD_WROTE_PAST_FORMAT as the fault handler writes it, formatted at start-up
   because the handler may do no more than write. */
static char stopLine[64];
static size_t stopLen;

/* Says on standard error that the page behind the table is not protected. */
static void say_unprotected()
{
    con_error("jqcpttst: the page behind the table cannot be protected: "
              "a library that writes far past it is not caught\n");
}

void guard_start()
{
    int n = snprintf(stopLine, sizeof stopLine, GUARD_WROTE_PAST_FORMAT,
                     (unsigned long)CPTD_MAX_COUNTRIES);
    stopLen = n > 0 ? (size_t)n : 0;
    /* The system's page must not reach beyond the store's page. */
    size_t size = system_page_size();
    pageProtected = size != 0 && GUARD_PAGE_BYTES % size == 0 && page_catch_writes() &&
                    page_set_writable(store.page, false);
    if (!pageProtected)
        say_unprotected();
}

void guard_write_fault(const void *at)
{
    const auto *p = static_cast<const unsigned char *>(at);
    if (!pageProtected || p < store.page || p >= store.page + sizeof store.page)
        return;
    con_stop_at_fault(stopLine, stopLen,
                      "jqcpttst: the library wrote past the table into protected memory; "
                      "stopped\n");
}

void guard_call_begins()
{
    memset(store.zone, GUARD_BYTE, sizeof store.zone);
    con_library_call_begins();
}

/* Returns whether each of the n bytes at p is b. */
static bool filled_with(const void *p, size_t n, unsigned char b)
{
    const auto *bytes = static_cast<const unsigned char *>(p);
    return bytes[0] == b && memcmp(bytes, bytes + 1, n - 1) == 0;
}

/* What a call left of the page. */
enum PageState { PAGE_CLEAN, PAGE_WRITTEN, PAGE_REPLACED };

/* Returns what the call left of the page, found out without a fault. */
static PageState page_state()
{
    if (!pageProtected) /* plain memory of the program's, unless it was abandoned */
        return pageAbandoned || filled_with(store.page, sizeof store.page, 0) ? PAGE_CLEAN
                                                                              : PAGE_WRITTEN;
    /* Making the page writable fails for a page that the library removed,
       or replaced by one that the program may not write. */
    unsigned char copy[GUARD_PAGE_BYTES];
    if (!page_set_writable(store.page, true) || !page_copy(store.page, copy))
        return PAGE_REPLACED;
    return filled_with(copy, sizeof copy, 0) ? PAGE_CLEAN : PAGE_WRITTEN;
}

/* Puts back a clean page after a call that left it in state. A protected
   page that was written or replaced goes to page_renew rather than being
   cleared here, since what lies there may be a file that the library mapped. */
static void page_restore(PageState state)
{
    if (!pageProtected) {
        if (state == PAGE_WRITTEN)
            memset(store.page, 0, sizeof store.page);
        return;
    }
    if (state == PAGE_CLEAN ? page_set_writable(store.page, false) : page_renew(store.page))
        return;
    pageProtected = false;
    pageAbandoned = true;
    say_unprotected();
}

unsigned guard_call_ended()
{
    con_library_call_ended();
    PageState state = page_state();
    page_restore(state);
    bool zoneWritten = !filled_with(store.zone, sizeof store.zone, GUARD_BYTE);
    return (zoneWritten || state == PAGE_WRITTEN ? GUARD_WROTE_PAST_TABLE : 0) |
           (state == PAGE_REPLACED ? GUARD_PAGE_REPLACED : 0);
}
