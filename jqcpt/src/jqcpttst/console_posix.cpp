/*
 * console_posix.cpp - the console's platform layer on POSIX systems: plain
 * read(2) and write(2) on the standard descriptors, ANSI clearing, a
 * protected page caught with SIGSEGV, and what the library printed through
 * stdio's stdout.
 *
 * That text is taken from the stream on glibc alone, whose FILE says where
 * the bytes it holds unwritten lie: the console writes them with its own
 * writer, which waits out EAGAIN, and purges the stream. Elsewhere (musl,
 * the BSDs, macOS) and for a wide stream, stdio writes them itself when the
 * console flushes stdout. What that loses: the text the library left in
 * stdio when the protected page stops it, which no fault handler may ask
 * stdio for (as on Windows with UCRT).
 *
 * The page costs one sigaction and one mprotect at start-up. A library that
 * blocks or ignores SIGSEGV takes the handler out of the way: the system
 * then ends the program at its write.
 */

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>

#include "console.h"
#include "console_sys.h"

/* stdout's buffer while the library leaves it so: text only the library writes. */
static char libraryText[65536];

const bool SYS_END_LINE = true;

bool sys_init()
{
    bool console = isatty(STDOUT_FILENO) == 1;
    (void)setvbuf(stdout, libraryText, console ? _IOLBF : _IOFBF, sizeof libraryText);
    return console;
}

const char *sys_clear()
{
    return "\033[H\033[2J"; /* cursor home, erase the screen */
}

long sys_write(int fd, const char *bytes, size_t n)
{
    return (long)write(fd, bytes, n);
}

long sys_read(unsigned char *bytes, size_t size)
{
    return (long)read(STDIN_FILENO, bytes, size);
}

bool sys_wait(int fd, bool forWriting)
{
    pollfd p = {fd, (short)(forWriting ? POLLOUT : POLLIN), 0};
    return poll(&p, 1, -1) >= 0 || errno == EINTR;
}

#if defined(__GLIBC__)
#include <stdio_ext.h>
/* glibc's stream fields, in whatever buffer it has (ours, or one the library
   gave it); a wide stream (_mode > 0) keeps its text elsewhere. */
long sys_library_bytes(const char **text, bool take)
{
    const char *from = stdout->_IO_write_base, *to = stdout->_IO_write_ptr;
    if (stdout->_mode > 0)
        return -1;
    if (from == nullptr || to <= from)
        return 0;
    if (take)
        __fpurge(stdout);
    *text = from;
    return (long)(to - from);
}
#else
long sys_library_bytes(const char **, bool)
{
    return -1;
}
#endif

/* stdout's file status flags while it is made blocking; -1 when it is not. */
static int flagsBefore = -1;

void sys_output_blocking(bool blocking)
{
    if (blocking && flagsBefore < 0) {
        int flags = fcntl(STDOUT_FILENO, F_GETFL);
        if (flags >= 0 && (flags & O_NONBLOCK) != 0 &&
            fcntl(STDOUT_FILENO, F_SETFL, flags & ~O_NONBLOCK) == 0)
            flagsBefore = flags;
    } else if (!blocking && flagsBefore >= 0) {
        int error = errno;
        (void)fcntl(STDOUT_FILENO, F_SETFL, flagsBefore);
        flagsBefore = -1;
        errno = error;
    }
}

/* The process's ID, for a copy of its own memory. */
static pid_t self;

/* What SIGSEGV did before the console caught it. */
static struct sigaction faultBefore;

/* A write into the page stops the program; any other fault is left to what
   was there before (the system's default): it happens again on return. A
   SIGSEGV that was sent, not a fault, is raised again for it. */
static void on_fault(int, siginfo_t *info, void *)
{
    bool fault = info->si_code > 0; /* the kernel's own, not kill or raise */
    if (fault)
        guard_written(info->si_addr);
    (void)sigaction(SIGSEGV, &faultBefore, nullptr);
    if (!fault)
        (void)raise(SIGSEGV);
}

size_t sys_page_bytes()
{
    long page = sysconf(_SC_PAGESIZE);
    return page > 0 ? (size_t)page : 0;
}

bool sys_catch_writes()
{
    self = getpid();
    struct sigaction caught = {};
    caught.sa_sigaction = on_fault;
    caught.sa_flags = SA_SIGINFO;
    sigemptyset(&caught.sa_mask);
    return sigaction(SIGSEGV, &caught, &faultBefore) == 0;
}

bool sys_protect(void *page, bool writable)
{
    return mprotect(page, CON_PAGE_BYTES, writable ? PROT_READ | PROT_WRITE : PROT_READ) == 0;
}

#if defined(__linux__)
/* Linux copies through the kernel, which fails where a read would fault.
   A seccomp filter may forbid the call; the copy is then made in place. */
bool sys_page_copy(const void *page, void *to)
{
    iovec into = {to, CON_PAGE_BYTES}, from = {const_cast<void *>(page), CON_PAGE_BYTES};
    ssize_t n = process_vm_readv(self, &into, 1, &from, 1, 0);
    if (n >= 0 || (errno != ENOSYS && errno != EPERM))
        return n == CON_PAGE_BYTES;
    memcpy(to, page, CON_PAGE_BYTES);
    return true;
}
#else
bool sys_page_copy(const void *page, void *to)
{
    memcpy(to, page, CON_PAGE_BYTES);
    return true;
}
#endif

bool sys_page_renew(void *page)
{
    return mmap(page, CON_PAGE_BYTES, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) ==
           page;
}

void sys_stop(int status)
{
    _exit(status);
}
