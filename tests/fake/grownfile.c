/*
 * Preloaded into the utility, with shortread.c, as if the country file
 * grew between the library's fstat and its reads: fstat gives a regular
 * file of more than GROWN_FILE_BYTES bytes (a number in the environment)
 * that size.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

int fstat(int fd, struct stat *st)
{
    int (*real)(int, struct stat *) = NULL;
    void *found = dlsym(RTLD_NEXT, "fstat");
    memcpy(&real, &found, sizeof real); /* ISO C has no cast from object to function pointer */
    const char *setting = getenv("GROWN_FILE_BYTES");
    int rc = real ? real(fd, st) : -1;
    if (rc == 0 && setting && S_ISREG(st->st_mode) && st->st_size > atoll(setting))
        st->st_size = (off_t)atoll(setting);
    return rc;
}
