/*
 * guard.h - the guard that catches a library writing past the table it is
 * handed. The dialogue calls the library between guard_call_begins and
 * guard_call_ended, and reports what the guard found.
 */
#ifndef JQCPTTST_GUARD_H
#define JQCPTTST_GUARD_H

#include "jqcpttyp.h"

/* The table handed to the library, of CPTD_MAX_COUNTRIES records. */
extern CountryEntry *const guardedTable;

/* The line that follows a listing whose library wrote past the table. It
   is a format for the table's number of records, an unsigned long, whose
   one %lu both snprintf and con_say convert. */
extern const char GUARD_WROTE_PAST_FORMAT[];

/* Protects the page behind the table. Where it cannot, it says so on
   standard error and the run goes on without the page. */
void guard_start();

/* Readies the guard and standard output for a library call. */
void guard_call_begins();

/* What a library call broke, as bits of guard_call_ended's result. */
enum { GUARD_WROTE_PAST_TABLE = 1, GUARD_PAGE_REPLACED = 2 };

/* Checks what the call left behind the table, puts the guard back in
   order, and returns the GUARD_ bits of what the library broke. */
unsigned guard_call_ended();

#endif /* JQCPTTST_GUARD_H */
