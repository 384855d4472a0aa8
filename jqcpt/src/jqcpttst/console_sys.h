/*
 * console_sys.h - what the console needs of the platform, one file each:
 * console_posix.cpp and console_windows.cpp. Only the console's own files
 * include it.
 *
 *   sys_init     learns whether standard output is a console (true if so)
 *   sys_clear    clears the console; returns text to write for that, if any
 *   sys_write    one write of UTF-8 bytes to standard output (fd 1) or
 *                error (fd 2): returns how many of them it wrote, at least
 *                one; a line end is written as the platform has it
 *   sys_read     one read of UTF-8 bytes from standard input, 0 at its end
 *   sys_wait     waits until a non-blocking stream is ready again
 *   sys_library_bytes  returns the bytes the C runtime's stdout holds
 *                unwritten (what the library printed), read from the
 *                stream alone, as a fault handler may; with take, takes
 *                them for the console to write. -1 where the runtime does
 *                not show them, or cannot give them up: it writes them
 *                itself when the console flushes stdout.
 *   sys_output_blocking  makes standard output blocking if it was not (true),
 *                or puts back the mode it had (false)
 *
 *   sys_page_bytes  the system's page size, 0 if unknown
 *   sys_catch_writes  has a write fault call guard_written with the address
 *                written (on POSIX every fault does); false when it cannot
 *   sys_protect  makes the page at page one the program cannot write
 *                (writable false) or can (true); false when it fails, as
 *                for a page removed or one mapped over it
 *   sys_page_copy  copies the page at page to to; false, with no fault,
 *                where it cannot be read
 *   sys_page_renew  puts a new page of zeros that the program cannot
 *                write at page, in place of whatever is there; false when
 *                it cannot
 *   sys_stop     ends the program at once with status, from a fault handler
 *
 * console.cpp provides guard_written: for a write into the protected page
 * it writes what the library printed, what the console holds and the stop
 * line, and stops, with no stdio and no allocation; for any other address
 * it returns.
 *
 *   SYS_END_LINE  whether the last output on a console ends with a line end
 *                (the shell's prompt follows it on POSIX; cmd starts its own)
 *
 * sys_write and sys_read return -1 with errno set when they fail; EAGAIN
 * means "not yet", and the console waits and tries again.
 */
#ifndef JQCPTTST_CONSOLE_SYS_H
#define JQCPTTST_CONSOLE_SYS_H

#include <stddef.h>

/* Bytes of output gathered before they are written (set by the build). */
#ifndef JQCPTTST_OUT_BYTES
#define JQCPTTST_OUT_BYTES 16384
#endif
enum { OUT_BYTES = JQCPTTST_OUT_BYTES, IN_BYTES = 4096 };

extern const bool SYS_END_LINE;

bool sys_init();
const char *sys_clear();
long sys_write(int fd, const char *bytes, size_t n);
long sys_read(unsigned char *bytes, size_t size);
bool sys_wait(int fd, bool forWriting);
long sys_library_bytes(const char **text, bool take);
void sys_output_blocking(bool blocking);
size_t sys_page_bytes();
bool sys_catch_writes();
bool sys_protect(void *page, bool writable);
bool sys_page_copy(const void *page, void *to);
bool sys_page_renew(void *page);
void sys_stop(int status);

void guard_written(const void *at);

#endif /* JQCPTTST_CONSOLE_SYS_H */
