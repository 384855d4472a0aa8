/*
 * jqcpttyp.h - the country record that the CPTD library delivers and the
 * codes that JQcpt_CountryList returns. It can be used from C (C11 or later)
 * and from C++.
 */
#ifndef JQCPTTYP_H
#define JQCPTTYP_H

#include "jqsys.h"

/* The caller makes room for this many records, and the library never delivers more. */
#define CPTD_MAX_COUNTRIES 100

/* A name field holds this many UTF-16 units, the terminating zero included. */
#define CPTD_NAME_UNITS 30

/* The library writes one country in 64 bytes. */
typedef struct CountryEntry {
    JQ_WCHAR16 name[CPTD_NAME_UNITS]; /* ends with a zero inside the field */
    int32_t id;
} CountryEntry;

JQ_STATIC_ASSERT(sizeof(CountryEntry) == 64, "CountryEntry must be 64 bytes");
JQ_STATIC_ASSERT(offsetof(CountryEntry, id) == 60, "CountryEntry.id must be at offset 60");

/* JQcpt_CountryList returns one of these codes. */
#define CPTD_OK 0
/* Some lines of the country file are corrupted. The good ones are delivered. */
#define CPTD_PARTIAL_LIST 42701
/* A null table or count was passed, and nothing was written. */
#define CPTD_BAD_ARGUMENT 42702
/* The country file is missing, unreadable, not a regular file or too large. The count is 0. */
#define CPTD_FILE_UNREADABLE 42703
/* The file defines more countries than the table holds. The first ones are delivered. */
#define CPTD_TOO_MANY_COUNTRIES 42704

#if defined(JQ_HEADER_IDENTS)
static const char jqcpttyp_h_ident[] JQ_IDENT =
    "@(#) jqbuild  2026-12-10 09:00:00   jqcpttyp.h /main/jqcpt/9 ~";
#endif

#endif /* JQCPTTYP_H */
