/*
 * alloc_count - an LD_PRELOAD library that counts heap allocations
 * (malloc, calloc, realloc, aligned forms) in the process it is loaded into
 * and, at exit, appends "allocations=N" to the file named by
 * ALLOC_COUNT_FILE.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern void *__libc_malloc(size_t);
extern void *__libc_calloc(size_t, size_t);
extern void *__libc_realloc(void *, size_t);
extern void *__libc_memalign(size_t, size_t);

static unsigned long allocations;

void *malloc(size_t n)
{
    allocations++;
    return __libc_malloc(n);
}

void *calloc(size_t n, size_t size)
{
    allocations++;
    return __libc_calloc(n, size);
}

void *realloc(void *p, size_t n)
{
    allocations++;
    return __libc_realloc(p, n);
}

void *memalign(size_t align, size_t n)
{
    allocations++;
    return __libc_memalign(align, n);
}

int posix_memalign(void **p, size_t align, size_t n)
{
    allocations++;
    *p = __libc_memalign(align, n);
    return *p ? 0 : 12;
}

void *aligned_alloc(size_t align, size_t n)
{
    allocations++;
    return __libc_memalign(align, n);
}

__attribute__((destructor)) static void report(void)
{
    const char *path = getenv("ALLOC_COUNT_FILE");
    if (!path)
        return;
    int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0)
        return;
    char line[64];
    int n = snprintf(line, sizeof line, "allocations=%lu\n", allocations);
    if (n > 0)
        (void)!write(fd, line, (size_t)n);
    close(fd);
}
