/*
 * console.h - the console beneath the dialogue and the guard. It stands in
 * for the runtime's console functions on the standard streams, which are
 * formatted output, the "%d" read, throwing away the rest of a line, and
 * clearing the screen.
 *
 * Output is UTF-8 whatever the locale, and UTF-16 on a Windows console. It
 * is gathered in a buffer, which is written out before a read may wait and
 * before the library is called. Standard input or output that fails ends
 * the program with status 2 and the reason on standard error. A non-blocking
 * stream is waited for.
 */
#ifndef JQCPTTST_CONSOLE_H
#define JQCPTTST_CONSOLE_H

#include <stdint.h>

#include "jqsys.h"

/* Learns whether standard output is a terminal or a console. */
void con_start();

/* Writes out everything written so far, after what the library printed. */
void con_flush();

/* Writes out the last of the output. On a POSIX terminal it ends with a line
   end, so that the shell's prompt starts a line of its own. */
void con_end();

/* Bracket a library call. Standard output is blocking while the library
   runs, so that the runtime's writes for it are never refused. A text that
   the runtime could not write then ends the program as a failed stream does. */
void con_library_call_begins();
void con_library_call_ended();

/* Clears the screen before the menu. Does nothing when output is no terminal. */
void con_clear();

/* Throws away the rest of the line. Returns false when input ends first.
   CR, LF and CR LF are each one line end. The LF after a CR is skipped
   when it arrives, and never waited for. */
bool con_discard_line();

/* Reads a number as a "%d" conversion does, and leaves the character after
   it unread. Returns 1 with *value set, 0 when nothing usable was read, or -1
   at the end of input. After text that is no number, the rest of the line is
   thrown away. A number outside the 32-bit range is read whole. */
int con_read_int(int32_t *value);

/* Writes ASCII text, in which %d stands for an int and %lu for an unsigned
   long up to LLONG_MAX. */
void con_say(const char *format, ...);

/* The most UTF-16 units con_put_name takes. */
enum { CON_NAME_UNITS_MAX = 30 };

/* The row writers. A number and a name are each right-aligned in width places
   and never cut. A name ends at its first zero or after units units, and
   takes a place for each unit, as the runtime counts it. */
void con_put_number(long long value, int width);
void con_put_name(const JQ_WCHAR16 *name, size_t units, int width);
void con_put_line_end();

/* Writes a line to standard error. A failure is ignored, since no stream
   is left to report it on. */
void con_error(const char *line);

/* Writes out what the library printed, where the C runtime shows it, then
   what the console holds, and the n bytes at last. Then writes said to
   standard error and ends the program at once with status 1, or 2 when
   standard output failed. A fault handler may call it, since it calls
   nothing but the system. */
[[noreturn]] void con_stop_at_fault(const char *last, size_t n, const char *said);

#endif /* JQCPTTST_CONSOLE_H */
