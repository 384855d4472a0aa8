/*
 * console_sys.h - what the console needs of the platform, one file each:
 * console_posix.cpp and console_windows.cpp. Only the console's own files
 * include it. A function here that returns a count, sys_stdout_pending
 * aside, returns -1 with errno set when it fails, and EAGAIN then means
 * "not yet".
 */
#ifndef JQCPTTST_CONSOLE_SYS_H
#define JQCPTTST_CONSOLE_SYS_H

#include <stddef.h>

/* Bytes of output gathered before they are written (set by the build). */
#ifndef JQCPTTST_OUT_BYTES
#define JQCPTTST_OUT_BYTES 16384
#endif
enum { OUT_BYTES = JQCPTTST_OUT_BYTES, IN_BYTES = 4096 };

/* Whether the last output on a console ends with a line end. The shell's
   prompt follows it on POSIX, and cmd starts a line of its own. */
extern const bool SYS_END_LINE;

/* Returns whether standard output is a terminal or a console. */
bool sys_init();

/* Clears the console. Returns the text to write for that, if any. */
const char *sys_clear();

/* Writes UTF-8 bytes to fd 1 or 2, each line end as the platform has it.
   Returns how many of the bytes it wrote, at least one. */
long sys_write(int fd, const char *bytes, size_t n);

/* Reads UTF-8 bytes from standard input. Returns how many, 0 at its end. */
long sys_read(unsigned char *bytes, size_t size);

/* Waits for a stream that said "not yet" until it is ready or, where the
   platform cannot tell, for a moment. Returns false when it cannot wait. */
bool sys_wait(int fd, bool forWriting);

/* Returns the number of bytes that the C runtime's stdout holds unwritten,
   and points *text at them. A fault handler may call it. With take, the
   bytes become the console's to write, and stdout forgets them. Returns -1
   where the runtime hides its bytes or keeps them. */
long sys_stdout_pending(const char **text, bool take);

/* Makes standard output blocking (true), or puts back its mode from before. */
void sys_output_blocking(bool blocking);

/* Ends the program at once with status. A fault handler may call it. */
[[noreturn]] void sys_stop(int status);

#endif /* JQCPTTST_CONSOLE_SYS_H */
