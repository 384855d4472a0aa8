/*
 * jqcpttst - interactive test console for the CPTD library.
 *
 * Shows a menu; on selection 1 asks the library for the countries CPTD
 * supports and prints them as a table of IDs and names (or the library's
 * warning or error code), then waits for Enter; on selection 99 it ends.
 *
 * Exit status: 0 when every listing of the run got CPTD_OK from a library
 * that kept its contract (or there was none); 1 when a listing got another
 * code, or the library reported more records than the table holds, left a
 * name without its ending zero or wrote past the table; 2 when standard
 * input could not be read or standard output written (the program then
 * ends at once, saying why on standard error). End of input at the menu or
 * at the pause ends the program as EXIT does, without the farewell line.
 */

#include <stdint.h>
#include <string.h>

#include <algorithm>

#define JQ_HEADER_IDENTS /* this unit carries the headers' identification strings */
#include "jqcpt.h"
#include "jqcpttyp.h"
#include "jqsys.h"
#include "jqcpttst_version.h"
#include "console.h"

static const char jqcpttst_ident[] JQ_IDENT =
    "@(#) jqbuild  2026-12-10 09:00:00   jqcpttst.cpp /main/jqcpttst/17 ~";

static const char jqcpttst_version[] JQ_IDENT =
    "FileDescription: " JQCPTTST_FILE_DESCRIPTION "; FileVersion: " JQCPTTST_FILE_VERSION
    "; InternalName: " JQCPTTST_INTERNAL_NAME;

/* ===== Country list report ===== */

constexpr uint32_t MAX_COUNTRIES = CPTD_MAX_COUNTRIES;

/*
 * The table, right after it a guard zone that catches records a library
 * writes past the table's end (never shown; it holds GUARD_BYTE throughout
 * before every call), and right after the zone a page the program cannot
 * write (protected at start-up): a write there stops the program. The area
 * is page-aligned and the zone ends where a page starts, so nothing of the
 * program's own lies behind the table.
 */
enum { GUARD_RECORDS = 64 };
static const unsigned char GUARD_BYTE = 0xA5;
constexpr size_t LISTED_BYTES = sizeof(CountryEntry) * (MAX_COUNTRIES + GUARD_RECORDS);
static struct alignas(CON_PAGE_BYTES) {
    // Room that puts the zone's end on a page boundary; never used.
    // cppcheck-suppress unusedStructMember
    unsigned char before[CON_PAGE_BYTES - LISTED_BYTES % CON_PAGE_BYTES];
    CountryEntry table[MAX_COUNTRIES];
    CountryEntry guard[GUARD_RECORDS];
    unsigned char trap[CON_PAGE_BYTES];
} countryStore;
static_assert(offsetof(decltype(countryStore), trap) % CON_PAGE_BYTES == 0,
              "the protected page starts right after the zone");

static CountryEntry *const countryTable = countryStore.table;
static uint32_t countryCount;

/* Set once a listing got a code other than CPTD_OK, or the library broke
   its contract: the exit status. */
static bool listingFailed;

/* What follows a listing whose library wrote past the table, as a format. */
static const char WROTE_PAST[] = "\nThe library wrote past the table of %lu records.\n";

/* True while every byte of the zone equals the one before it, the first
   GUARD_BYTE. */
static bool zone_intact()
{
    const auto *zone = reinterpret_cast<const unsigned char *>(countryStore.guard);
    return zone[0] == GUARD_BYTE && memcmp(zone, zone + 1, sizeof countryStore.guard - 1) == 0;
}

static void ReportError(int32_t code)
{
    say("\n");
    say("An Error Has Occurred ... Return code = %d \n", (int)code);
    say("\n");
}

/* Writes the warning, the error report or the table for what the library
   returned, and returns how many rows it showed. */
static uint32_t report_list(int32_t rc)
{
    if (rc == CPTD_PARTIAL_LIST && countryCount != 0) {
        say("\nPart of input file is corrupted.\n");
        say("Only some of the country names can be retrieved.\n\n");
    }
    if (rc != CPTD_OK && countryCount == 0) {
        ReportError(rc);
        return 0;
    }
    say("\n");
    if (countryCount == 0) {
        say("No country was defined in CPTD \n");
        return 0;
    }
    say("   Country ID      Country Name  \n");
    say(" --------------------------------\n");
    say("\n");

    /* The table holds MAX_COUNTRIES records, whatever count the library claims. */
    uint32_t shown = countryCount < MAX_COUNTRIES ? countryCount : MAX_COUNTRIES;
    // The library wrote countryCount through the pointer it was handed.
    // cppcheck-suppress knownConditionTrueFalse
    for (uint32_t i = 0; i < shown; i++) {
        put_number(countryTable[i].id, 8);  /* "%8d" */
        put_name(countryTable[i].name, 30); /* "%30ls" */
        put_line_end();                     /* "\n" */
    }
    return shown;
}

/* True when a name fills its 30 units with no ending zero (shown so, all 30). */
static bool name_unended(const CountryEntry *e)
{
    if (e->name[CPTD_NAME_UNITS - 1] == 0)
        return false; /* most names: a zero at the end, at one look */
    return std::find(e->name, e->name + CPTD_NAME_UNITS, 0) == e->name + CPTD_NAME_UNITS;
}

/*
 * Asks the library for its list and shows it. Below the rows go what the
 * list alone would hide: a code other than CPTD_OK that came with it, and
 * every way in which the library broke its contract.
 */
static void ListCountries()
{
    memset(countryStore.guard, GUARD_BYTE, sizeof countryStore.guard);
    con_flush(); /* what the library may print follows what is written */
    con_library_call_begins();
    int32_t rc = JQcpt_CountryList(countryTable, &countryCount);
    con_library_call_ended();
    /* A library that caught the fault and lifted the page's protection has
       written there unstopped: that is found here too. */
    ConPage page = con_page_check(countryStore.trap);
    bool wrotePast = !zone_intact() || page == CON_PAGE_WRITTEN;

    uint32_t shown = report_list(rc);
    unsigned long unended = 0;
    for (uint32_t i = 0; i < shown; i++)
        unended += name_unended(&countryTable[i]);
    if (shown > 0 && rc != CPTD_OK)
        say("\nThe library returned code %d with this list.\n", (int)rc);
    // cppcheck-suppress knownConditionTrueFalse
    if (countryCount > MAX_COUNTRIES)
        say("\nThe library reported %lu records; the table holds %lu.\n",
            (unsigned long)countryCount, (unsigned long)MAX_COUNTRIES);
    if (unended > 0)
        say("\nThe library left no ending zero in %lu of the names.\n", unended);
    if (wrotePast)
        say(WROTE_PAST, (unsigned long)MAX_COUNTRIES);
    if (page == CON_PAGE_REPLACED)
        say("\nThe library removed or replaced the protected page behind the table.\n");

    // cppcheck-suppress knownConditionTrueFalse
    if (rc != CPTD_OK || countryCount > MAX_COUNTRIES || unended > 0 || wrotePast ||
        page == CON_PAGE_REPLACED)
        listingFailed = true;
}

/* ===== Main loop and menu ===== */

enum {
    MENU_LIST_COUNTRIES = 0,
    MENU_EXIT = 1,
    MENU_END_OF_INPUT = 2 /* standard input is exhausted */
};

static int ShowMenu()
{
    for (;;) {
        con_clear();
        say(" CPTD DLL Test Utility \n");
        say("--------------------------------------------\n");
        say("\n\n");
        say(" 1. List all the Countries that are supported by CPTD\n");
        say("\n");
        say("99. EXIT \n");
        say(" -> ");

        int32_t selection = 0;
        int got = con_read_int(&selection);
        if (got < 0)
            return MENU_END_OF_INPUT;
        if (got > 0 && selection == 1)
            return MENU_LIST_COUNTRIES;
        if (got > 0 && selection == 99)
            return MENU_EXIT;
    }
}

/*
 * Holds the report until Enter: takes the rest of the selection's line
 * (often its line end alone), then a line of its own, so that nothing typed
 * after the selection clears the report unread. False at the end of input.
 */
static bool pause_for_enter()
{
    say("\n Press enter to continue");
    bool restTaken = con_discard_line(); /* the rest of the selection's line */
    return restTaken && con_discard_line();
}

int main()
{
    con_start(countryStore.trap, WROTE_PAST, (unsigned long)MAX_COUNTRIES);
    for (;;) {
        int action = ShowMenu();
        if (action == MENU_EXIT) {
            say("\n EXIT Selected.");
            break;
        }
        if (action == MENU_END_OF_INPUT)
            break;
        ListCountries();
        if (!pause_for_enter())
            break;
    }
    con_end();
    return listingFailed ? 1 : 0;
}
