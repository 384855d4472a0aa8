/*
 * Preloaded into the utility to cap every read at 100 bytes, as network
 * and FUSE file systems may return them: nothing may be lost for it.
 */
#define _GNU_SOURCE
#include <sys/syscall.h>
#include <unistd.h>

ssize_t read(int fd, void *buf, size_t n)
{
    return syscall(SYS_read, fd, buf, n < 100 ? n : 100);
}
