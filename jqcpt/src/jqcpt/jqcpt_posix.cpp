/*
 * jqcpt_posix.cpp - the CPTD library's calls to a POSIX system. dladdr, which
 * finds the library's folder, is not in POSIX, but glibc, musl, the BSDs and
 * macOS have it. glibc and musl declare it under _GNU_SOURCE, which g++ and
 * clang++ define.
 */
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "jqcpt.h"
#include "jqcpt_sys.h"

extern char **environ; /* NOLINT(readability-redundant-declaration): not all unistd.h have it */

/* Opens path as open_country_file does. O_NONBLOCK keeps open from waiting
   on a FIFO, which is refused anyway. */
static int open_regular_file(const char *path, int *error)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    bool opened = fd >= 0 && fstat(fd, &st) == 0;
    if (opened && S_ISREG(st.st_mode) && st.st_size <= MAX_FILE_BYTES)
        return fd;
    *error = !opened ? errno : S_ISREG(st.st_mode) ? FILE_TOO_LARGE : FILE_NOT_REGULAR;
    if (fd >= 0)
        close(fd);
    return -1;
}

int open_country_file(int *error, char *shown)
{
    const char *named = getenv("JQCPT_COUNTRY_FILE");
    if (named && *named) {
        (void)snprintf(shown, PATH_BYTES, "%s", named);
        return open_regular_file(named, error);
    }
    Dl_info info;
    if (!dladdr((void *)&JQcpt_CountryList, &info) || !info.dli_fname) {
        *error = FILE_NO_FOLDER;
        (void)snprintf(shown, PATH_BYTES, "%s", JQCPT_DATA_RELPATH);
        return -1;
    }
    const char *lib = info.dli_fname;
    const char *slash = strrchr(lib, '/');
    int dir = slash ? (int)(slash - lib + 1) : 0;
    int written = snprintf(shown, PATH_BYTES, "%.*s%s", dir, lib, JQCPT_DATA_RELPATH);
    if (written <= 0 || written >= PATH_BYTES) {
        *error = ENAMETOOLONG;
        return -1;
    }
    return open_regular_file(shown, error);
}

long file_read(int fd, unsigned char *buf, size_t size)
{
    ssize_t n;
    do
        n = read(fd, buf, size);
    while (n < 0 && errno == EINTR);
    return (long)n;
}

void file_close(int fd)
{
    close(fd);
}

bool diagnostics_on()
{
    const char *value = getenv("JQCPT_DIAGNOSTICS");
    return value && *value;
}

void write_error_line(char *text, size_t n)
{
    text[n++] = '\n';
    while (n > 0) {
        ssize_t wrote = write(2, text, n);
        struct pollfd room = {2, POLLOUT, 0};
        if (wrote < 0 && (errno == EINTR ||
                          ((errno == EAGAIN || errno == EWOULDBLOCK) && poll(&room, 1, -1) >= 0)))
            continue; /* a non-blocking standard error is waited for */
        if (wrote <= 0)
            return; /* the line cannot be written anywhere */
        text += wrote;
        n -= (size_t)wrote;
    }
}

const bool VARIABLE_CASE_IGNORED = false;

void for_each_variable(void (*take)(const char *name, size_t len))
{
    for (char **entry = environ; entry && *entry; entry++)
        take(*entry, strcspn(*entry, "="));
}
