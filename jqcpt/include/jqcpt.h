/*
 * jqcpt.h - the CPTD library, which lists the countries CPTD supports. It
 * can be used from C (C11 or later) and from C++.
 */
#ifndef JQCPT_H
#define JQCPT_H

#include "jqsys.h"
#include "jqcpttyp.h"

#if defined(JQCPT_BUILDING)
#define JQCPT_API JQ_EXPORT
#else
#define JQCPT_API JQ_IMPORT
#endif

JQ_BEGIN_DECLS

/*
 * Fills table with the countries of the country file, in file order, and
 * sets *count to the number of records filled. The caller provides room for
 * CPTD_MAX_COUNTRIES records. Returns CPTD_OK or one of the CPTD_ codes.
 */
JQCPT_API int32_t JQ_CALL JQcpt_CountryList(CountryEntry *table, uint32_t *count);

JQ_END_DECLS

#if defined(JQ_HEADER_IDENTS)
static const char jqcpt_h_ident[] JQ_IDENT =
    "@(#) jqbuild  2026-12-10 09:00:00   jqcpt.h /main/jqcpt/7 ~";
#endif

#endif /* JQCPT_H */
