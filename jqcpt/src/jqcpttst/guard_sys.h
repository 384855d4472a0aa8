/*
 * guard_sys.h - what the guard needs of the platform, one file each:
 * guard_posix.cpp and guard_windows.cpp. Only the guard's files include it.
 * A page here is GUARD_PAGE_BYTES long and aligned to that size.
 */
#ifndef JQCPTTST_GUARD_SYS_H
#define JQCPTTST_GUARD_SYS_H

#include <stddef.h>

/* The page size of x86, which the project's builds are for. On a system
   with larger pages, guard_start runs without the page and says so. */
enum { GUARD_PAGE_BYTES = 4096 };

/* Returns the system's page size, or 0 when it is not known. */
size_t page_size();

/* Has every write fault call guard_write_fault with the address written.
   Returns false when it cannot. It comes before the other page_ calls but
   page_size, which may rely on what it sets up. */
bool page_catch_writes();

/* Makes the page writable or read-only. Returns false when that fails, as
   it does for a page that was unmapped or mapped over. */
bool page_set_writable(void *page, bool writable);

/* Copies the page to to. Returns false, without a fault, where the page
   cannot be read. */
bool page_copy(const void *page, void *to);

/* Puts a read-only page of zeros at page, in place of whatever is there.
   Returns false when it cannot. */
bool page_renew(void *page);

/* Stops the program for a write into the protected page; returns for a
   write anywhere else. guard.cpp provides it for the fault handler. */
void guard_write_fault(const void *at);

#endif /* JQCPTTST_GUARD_SYS_H */
