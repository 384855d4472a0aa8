/*
 * guard_posix.cpp - the guard's platform layer on POSIX systems. The page
 * is protected with mprotect(2), and a write into it is caught as SIGSEGV.
 * That costs one sigaction and one mprotect at start-up.
 *
 * A library that blocks or ignores SIGSEGV, or installs a handler of its
 * own or resets it to the default, takes the guard's handler out of the
 * way. What the library's write then does is up to the library's handler
 * or the system's default.
 *
 * A file mapped over the page raises SIGBUS when it is read past its end.
 * page_copy reads through the kernel to avoid that, which only Linux
 * offers and a seccomp filter may forbid. An unprotected page is read in
 * place, so that such a file there ends the program.
 */

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include "guard_sys.h"

/* What SIGSEGV did before the guard caught it. */
static struct sigaction faultBefore;

/* Hands a write fault to the guard. A fault that the guard does not stop
   is left to the handler from before, the system's default, and happens
   again on return. A SIGSEGV that was sent, not a fault, is raised again. */
static void on_fault(int, siginfo_t *info, void *)
{
    bool fromKernel = info->si_code > 0; /* not kill or raise */
    if (fromKernel)
        guard_write_fault(info->si_addr);
    (void)sigaction(SIGSEGV, &faultBefore, nullptr);
    if (!fromKernel)
        (void)raise(SIGSEGV);
}

size_t system_page_size()
{
    long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? (size_t)size : 0;
}

bool page_catch_writes()
{
    struct sigaction caught = {};
    caught.sa_sigaction = on_fault;
    caught.sa_flags = SA_SIGINFO;
    sigemptyset(&caught.sa_mask);
    return sigaction(SIGSEGV, &caught, &faultBefore) == 0;
}

bool page_set_writable(void *page, bool writable)
{
    return mprotect(page, GUARD_PAGE_BYTES, writable ? PROT_READ | PROT_WRITE : PROT_READ) == 0;
}

bool page_copy(const void *page, void *to)
{
#if defined(__linux__)
    /* The kernel's copy fails where a read would fault, as past the end of a
       file mapped there. A seccomp filter may forbid the call, and the copy
       is then made in place. */
    iovec into = {to, GUARD_PAGE_BYTES}, from = {const_cast<void *>(page), GUARD_PAGE_BYTES};
    ssize_t n = process_vm_readv(getpid(), &into, 1, &from, 1, 0);
    if (n >= 0 || (errno != ENOSYS && errno != EPERM))
        return n == GUARD_PAGE_BYTES;
#endif
    memcpy(to, page, GUARD_PAGE_BYTES);
    return true;
}

bool page_renew(void *page)
{
    return mmap(page, GUARD_PAGE_BYTES, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1,
                0) == page;
}
