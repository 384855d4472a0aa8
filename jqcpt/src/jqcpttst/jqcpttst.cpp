/*
 * jqcpttst - the interactive test console for the CPTD library.
 *
 * It shows a menu. Selection 1 asks the library for the countries that
 * CPTD supports, shows them as a table of IDs and names, or the library's
 * warning or error code, and waits for Enter. Selection 99 ends the
 * program, and so does the end of input. What a user sees, and what each
 * exit status means, is in jqcpttst(1).
 *
 * The dialogue writes through the console (console.h), and hands the
 * library a table that the guard (guard.h) watches.
 */

#include <stdint.h>

#include <algorithm>

#define JQ_HEADER_IDENTS /* this unit carries the headers' identification strings */
#include "jqcpt.h"       /* and jqcpttyp.h and jqsys.h */
#include "jqcpttst_version.h"
#include "console.h"
#include "guard.h"

static const char jqcpttst_ident[] JQ_IDENT =
    "@(#) jqbuild  2026-12-10 09:00:00   jqcpttst.cpp /main/jqcpttst/18 ~";

static const char jqcpttst_version[] JQ_IDENT =
    "FileDescription: " JQCPTTST_FILE_DESCRIPTION "; FileVersion: " JQCPTTST_FILE_VERSION
    "; InternalName: " JQCPTTST_INTERNAL_NAME;

/* ===== Country list report ===== */

constexpr uint32_t MAX_COUNTRIES = CPTD_MAX_COUNTRIES;
static_assert(CPTD_NAME_UNITS <= CON_NAME_UNITS_MAX, "the console writes a name whole");

static CountryEntry *const countryTable = guardedTable;
static uint32_t countryCount;

/* Set once a listing got a code other than CPTD_OK, or the library broke
   its contract. It makes the exit status 1. */
static bool listingFailed;

/* Writes the report of a code that came with no list. */
static void ReportError(int32_t code)
{
    con_say("\n");
    con_say("An Error Has Occurred ... Return code = %d \n", (int)code);
    con_say("\n");
}

/* Writes the warning, the error report or the table for what the library
   returned. Returns the number of rows shown. */
static uint32_t report_list(int32_t rc)
{
    if (rc == CPTD_PARTIAL_LIST && countryCount != 0) {
        con_say("\nPart of input file is corrupted.\n");
        con_say("Only some of the country names can be retrieved.\n\n");
    }
    if (rc != CPTD_OK && countryCount == 0) {
        ReportError(rc);
        return 0;
    }
    con_say("\n");
    if (countryCount == 0) {
        con_say("No country was defined in CPTD \n");
        return 0;
    }
    con_say("   Country ID      Country Name  \n");
    con_say(" --------------------------------\n");
    con_say("\n");

    /* The table holds MAX_COUNTRIES records, whatever the library's count says. */
    uint32_t shown = countryCount < MAX_COUNTRIES ? countryCount : MAX_COUNTRIES;
    // The library wrote countryCount through the pointer it was handed.
    // cppcheck-suppress knownConditionTrueFalse
    for (uint32_t i = 0; i < shown; i++) {
        con_put_number(countryTable[i].id, 8);                   /* "%8d" */
        con_put_name(countryTable[i].name, CPTD_NAME_UNITS, 30); /* "%30ls" */
        con_put_line_end();                                      /* "\n" */
    }
    return shown;
}

/* Returns whether a name fills all its units with no ending zero. Such a
   name is shown whole. */
static bool name_lacks_zero(const CountryEntry *e)
{
    if (e->name[CPTD_NAME_UNITS - 1] == 0)
        return false; /* most names end in zeros, which one look finds */
    return std::find(e->name, e->name + CPTD_NAME_UNITS, 0) == e->name + CPTD_NAME_UNITS;
}

/*
 * Asks the library for its list and shows it. Below the rows goes what the
 * list alone would hide: a code other than CPTD_OK that came with it, and
 * every way in which the library broke its contract.
 */
static void ListCountries()
{
    con_flush(); /* what the library prints follows what is written */
    guard_call_begins();
    int32_t rc = JQcpt_CountryList(countryTable, &countryCount);
    unsigned broken = guard_call_ended();

    uint32_t shown = report_list(rc);
    unsigned long unended = 0;
    for (uint32_t i = 0; i < shown; i++)
        unended += name_lacks_zero(&countryTable[i]);
    if (shown > 0 && rc != CPTD_OK)
        con_say("\nThe library returned code %d with this list.\n", (int)rc);
    if (countryCount > MAX_COUNTRIES)
        con_say("\nThe library reported %lu records; the table holds %lu.\n",
                (unsigned long)countryCount, (unsigned long)MAX_COUNTRIES);
    if (unended > 0)
        con_say("\nThe library left no ending zero in %lu of the names.\n", unended);
    if (broken & GUARD_WROTE_PAST_TABLE)
        con_say(GUARD_WROTE_PAST_FORMAT, (unsigned long)MAX_COUNTRIES);
    if (broken & GUARD_PAGE_REPLACED)
        con_say("\nThe library removed or replaced the protected page behind the table.\n");

    if (rc != CPTD_OK || countryCount > MAX_COUNTRIES || unended > 0 || broken != 0)
        listingFailed = true;
}

/* ===== Main loop and menu ===== */

enum {
    MENU_LIST_COUNTRIES = 0,
    MENU_EXIT = 1,
    MENU_END_OF_INPUT = 2 /* standard input is exhausted */
};

/* Shows the menu until a selection of 1 or 99 is read, or input ends.
   Returns the MENU_ value for what was read. */
static int ShowMenu()
{
    for (;;) {
        con_clear();
        con_say(" CPTD DLL Test Utility \n");
        con_say("--------------------------------------------\n");
        con_say("\n\n");
        con_say(" 1. List all the Countries that are supported by CPTD\n");
        con_say("\n");
        con_say("99. EXIT \n");
        con_say(" -> ");

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
 * Holds the report until Enter is pressed. It takes the rest of the
 * selection's line, often its line end alone, and then a line of its own,
 * so that nothing typed after the selection clears the report unread.
 * Returns false at the end of input.
 */
static bool pause_for_enter()
{
    con_say("\n Press enter to continue");
    bool restTaken = con_discard_line(); /* the rest of the selection's line */
    return restTaken && con_discard_line();
}

int main()
{
    con_start();
    guard_start();
    for (;;) {
        int action = ShowMenu();
        if (action == MENU_EXIT) {
            con_say("\n EXIT Selected.");
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
