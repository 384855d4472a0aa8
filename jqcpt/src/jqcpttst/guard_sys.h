/*
 * guard_sys.h - what the guard needs of the platform, one file each:
 * guard_posix.cpp and guard_windows.cpp. Only the guard's files include it.
 * A page here is GUARD_PAGE_BYTES long and aligned to that size.
 */
#ifndef JQCPTTST_GUARD_SYS_H
#define JQCPTTST_GUARD_SYS_H

#include <stddef.h>

/* The largest page of the platforms built for, which is 4 KiB on x86 and
   on Windows. */
#if defined(__x86_64__) || defined(__i386__) || defined(_WIN32)
enum { GUARD_PAGE_BYTES = 4096 };
#else
enum { GUARD_PAGE_BYTES = 65536 };
#endif

/* Returns the system's page size, or 0 when it is not known. */
size_t system_page_size();

/* Has every memory fault that the system reports with an address call
   guard_write_fault with that address. Since the page stays readable, a
   fault inside it is a write. Returns false when it cannot. */
bool page_catch_writes();

/* Makes the page writable or read-only. Returns false when that fails, as
   it does for a page that was unmapped or mapped over. */
bool page_set_writable(void *page, bool writable);

/* Copies the page to to. Returns false where the system finds, without a
   fault, that the page cannot be read. Where the system has no such check,
   the copy is plain and returns true. */
bool page_copy(const void *page, void *to);

/* Puts a read-only page of zeros at page, in place of whatever is there,
   or clears the page where nothing can replace it. Returns false when it
   cannot. */
bool page_renew(void *page);

/* Stops the program for a fault inside the protected page, and returns for
   one anywhere else. guard.cpp provides it for the fault handler. */
void guard_write_fault(const void *at);

#endif /* JQCPTTST_GUARD_SYS_H */
