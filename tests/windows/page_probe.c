/*
 * page_probe.exe: whether a write into a read-only page reaches a vectored
 * handler as an access violation that names the write and its address, as
 * the utility's protected page needs. Exits 0 when it does; when something
 * else arrives, says what and exits 2 (any other status: the probe itself
 * failed). Under qemu-user, 32-bit Wine gets the fault as an illegal
 * instruction with no address.
 */
#include <stdio.h>
#include <windows.h>

static char *page;

static LONG CALLBACK seen(EXCEPTION_POINTERS *e)
{
    const EXCEPTION_RECORD *r = e->ExceptionRecord;
    int named = r->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && r->NumberParameters >= 2 &&
                r->ExceptionInformation[0] == 1 && r->ExceptionInformation[1] == (ULONG_PTR)page;
    if (!named)
        printf("a write into a read-only page arrives as exception %08lx with %lu parameters, "
               "not as an access violation naming the write and its address\n",
               r->ExceptionCode, r->NumberParameters);
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), named ? 0 : 2);
    return EXCEPTION_CONTINUE_SEARCH;
}

int main(void)
{
    DWORD old;
    page = VirtualAlloc(NULL, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!page || !VirtualProtect(page, 4096, PAGE_READONLY, &old) ||
        !AddVectoredExceptionHandler(1, seen)) {
        printf("no read-only page: %lu\n", GetLastError());
        return 1;
    }
    *(volatile char *)page = 1;
    printf("a write into a read-only page raised nothing\n");
    return 1;
}
