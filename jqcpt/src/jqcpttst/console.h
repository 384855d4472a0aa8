/*
 * console.h - the console beneath the dialogue: it stands in for the
 * runtime's console functions (formatted output, the "%d" read, the rest
 * of a line thrown away, clearing the screen) on the standard streams.
 *
 * Output is UTF-8 (UTF-16 on a Windows console) whatever the locale, and is
 * gathered in a buffer that is written before a read may wait and before
 * the library is called. A standard stream that fails ends the program
 * with status 2 and the reason on standard error: nothing is lost unseen.
 * A non-blocking stream is waited for.
 */
#ifndef JQCPTTST_CONSOLE_H
#define JQCPTTST_CONSOLE_H

#include <stdint.h>

#include "jqsys.h"

/* The page size a page the console protects is laid out for: the largest
   page of the platforms built for (4 KiB on x86 and on Windows). */
#if defined(__x86_64__) || defined(__i386__) || defined(_WIN32)
enum { CON_PAGE_BYTES = 4096 };
#else
enum { CON_PAGE_BYTES = 65536 };
#endif

/*
 * Learns what the standard streams are; the console starts empty. The page
 * at trap (CON_PAGE_BYTES long and aligned) is made one the program cannot
 * write: a write into it ends the program. The console then writes out
 * what it holds and the line stopText (formatted now, as say does, with
 * value for its %lu; up to 128 bytes are kept and it must fit the output
 * buffer), says on standard error what happened, and exits with status 1
 * (2 when standard output failed).
 * Where the page cannot be protected, the run goes on without it.
 */
void con_start(void *trap, const char *stopText, unsigned long value);

/* What a library call left of the page given to con_start. */
enum ConPage { CON_PAGE_CLEAN, CON_PAGE_WRITTEN, CON_PAGE_REPLACED };

/*
 * After a library call: returns what the library left of the page given to
 * con_start, found out without a fault whatever that is. A page written,
 * removed or replaced gets a new one in its place, so that each is
 * reported once. The page is protected again, whatever the library made of
 * its protection. Where no new page can be put in its place, the run goes
 * on without it, and that is said as at start-up.
 */
ConPage con_page_check(void *trap);

/* Writes out everything written so far, and what the library printed first. */
void con_flush();

/* Writes out the last of the output; on a POSIX terminal it ends with a line
   end, so that the shell's prompt starts a line of its own. */
void con_end();

/*
 * Bracket a library call. Standard output is blocking while the library
 * runs (made so if it was not), so that what the runtime writes for it by
 * itself is never refused; after the call it has its own mode again.
 */
void con_library_call_begins();
void con_library_call_ended();

/* Clears the screen before the menu; does nothing when output is no terminal. */
void con_clear();

/* Throws away the rest of the line; false when input ends first. CR, LF
   and CR LF are each one line end: the LF after a CR is skipped when it
   arrives, never waited for. */
bool con_discard_line();

/*
 * Reads a number as a "%d" conversion does: blanks and line ends skipped,
 * an optional sign, decimal digits, the first other character left unread.
 * Returns 1 with *value set; 0 when nothing usable was read (not a number:
 * the rest of the line is discarded; or a number outside the 32-bit range,
 * read whole); -1 at the end of input.
 */
int con_read_int(int32_t *value);

/* One formatted write of ASCII text (every message is ASCII); it knows %d
   (an int) and %lu (an unsigned long up to LLONG_MAX). */
void say(const char *format, ...);

/* The row writers: a number, a record's name, each right-aligned in width
   places and never cut, and a line end, as say writes "\n". A name takes a
   place for each UTF-16 unit, as the runtime counts it. */
void put_number(long long value, int width);
void put_name(const JQ_WCHAR16 *name, int width);
void put_line_end();

#endif /* JQCPTTST_CONSOLE_H */
