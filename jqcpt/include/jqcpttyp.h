/*
 * jqcpttyp.h - the types and return codes of the CPTD library: the country
 * record it delivers and the codes JQcpt_CountryList returns.
 * Usable from C (C11 or later) and C++.
 */
#ifndef JQCPTTYP_H
#define JQCPTTYP_H

#include "jqsys.h"

/* Room the caller provides: the library never delivers more records. */
#define CPTD_MAX_COUNTRIES 100

/* UTF-16 units of a name, the closing zero included. */
#define CPTD_NAME_UNITS 30

/* One country, 64 bytes, laid out as the library writes it. */
typedef struct CountryEntry {
    JQ_WCHAR16 name[CPTD_NAME_UNITS]; /* zero-terminated inside the field */
    int32_t id;
} CountryEntry;

JQ_STATIC_ASSERT(sizeof(CountryEntry) == 64, "CountryEntry must be 64 bytes");
JQ_STATIC_ASSERT(offsetof(CountryEntry, id) == 60, "CountryEntry.id must be at offset 60");

/* Return codes of JQcpt_CountryList. */
#define CPTD_OK 0
/* Some lines of the country file are corrupted; the good ones are delivered. */
#define CPTD_PARTIAL_LIST 42701
/* A null table or count was passed; nothing was written. */
#define CPTD_BAD_ARGUMENT 42702
/* The country file is missing, unreadable, not a regular file or too large; count 0. */
#define CPTD_FILE_UNREADABLE 42703
/* The file defines more countries than the table holds; the first ones are delivered. */
#define CPTD_TOO_MANY_COUNTRIES 42704

#if defined(JQ_HEADER_IDENTS)
static const char jqcpttyp_h_ident[] JQ_IDENT =
    "@(#) jqbuild  2026-12-10 09:00:00   jqcpttyp.h /main/jqcpt/8 ~";
#endif

#endif /* JQCPTTYP_H */
