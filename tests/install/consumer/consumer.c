/* A tiny C consumer of the installed CPTD library: lists the shipped countries. */
#include <stdio.h>

#include <jqcpt.h>

int main(void)
{
    static CountryEntry table[CPTD_MAX_COUNTRIES];
    uint32_t count = 0;
    int32_t rc = JQcpt_CountryList(table, &count);
    printf("rc=%d count=%u first=%d\n", (int)rc, (unsigned)count, count ? (int)table[0].id : 0);
    return rc == CPTD_OK && count > 0 ? 0 : 1;
}
