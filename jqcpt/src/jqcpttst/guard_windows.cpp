/*
 * guard_windows.cpp - the guard's platform layer on Windows. The page is
 * protected with VirtualProtect, and a write into it is caught by a
 * vectored exception handler, put first in line.
 */

#include <string.h>

#include <windows.h>

#include "guard_sys.h"

/* Hands a write fault to the guard. Any other fault goes on its way. */
static LONG CALLBACK on_fault(EXCEPTION_POINTERS *fault)
{
    const EXCEPTION_RECORD *r = fault->ExceptionRecord;
    if (r->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r->NumberParameters >= 2 &&
        r->ExceptionInformation[0] == 1 /* a write */)
        guard_write_fault(reinterpret_cast<const void *>(r->ExceptionInformation[1]));
    return EXCEPTION_CONTINUE_SEARCH;
}

size_t system_page_size()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwPageSize;
}

bool page_catch_writes()
{
    return AddVectoredExceptionHandler(1, on_fault) != nullptr;
}

bool page_set_writable(void *page, bool writable)
{
    DWORD before;
    return VirtualProtect(page, GUARD_PAGE_BYTES, writable ? PAGE_READWRITE : PAGE_READONLY,
                          &before) != 0;
}

bool page_copy(const void *page, void *to)
{
    memcpy(to, page, GUARD_PAGE_BYTES);
    return true;
}

/* The page lies in the program's image, of which no one can unmap a page or
   map another over it. The new page is the same one, cleared. */
bool page_renew(void *page)
{
    if (!page_set_writable(page, true))
        return false;
    memset(page, 0, GUARD_PAGE_BYTES);
    return page_set_writable(page, false);
}
