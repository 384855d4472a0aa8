/*
 * nowait_pipes.exe PROGRAM: runs PROGRAM with its standard input and output
 * on pipes in PIPE_NOWAIT mode (a read of an empty pipe fails with
 * ERROR_NO_DATA, a write to a full one moves nothing), passes this
 * program's own standard input to it and its output to this program's
 * standard output, and exits with its status (125 when it cannot start it).
 * Standard error is passed as it is.
 *
 * The input is passed by a second process (this program, run as
 * "nowait_pipes.exe --copy"), not a second thread: every process here has
 * one thread, as a 32-bit one under qemu-user's Wine dies otherwise once
 * some hundred KB have passed.
 */
#include <stdio.h>
#include <windows.h>

/* Starts command with the given standard input and output, inheriting only
 * what is inheritable now. */
static BOOL start(char *command, HANDLE in, HANDLE out, PROCESS_INFORMATION *child)
{
    STARTUPINFOA info = {0};
    info.cb = sizeof info;
    info.dwFlags = STARTF_USESTDHANDLES;
    info.hStdInput = in;
    info.hStdOutput = out;
    info.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    return CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &info, child);
}

/* Copies from one handle to another until either fails or the input ends. */
static void copy(HANDLE from, HANDLE to)
{
    char buf[4096];
    DWORD got, wrote;
    while (ReadFile(from, buf, sizeof buf, &got, NULL) && got > 0)
        for (char *p = buf; got > 0; p += wrote, got -= wrote)
            if (!WriteFile(to, p, got, &wrote, NULL))
                return;
}

int main(int argc, char **argv)
{
    if (argc == 2 && strcmp(argv[1], "--copy") == 0) {
        copy(GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE));
        return 0;
    }
    char self[MAX_PATH], copier[MAX_PATH + 16], command[32768];
    DWORD nowait = PIPE_READMODE_BYTE | PIPE_NOWAIT, status = 125;
    HANDLE keysIn, keysOut, shownIn, shownOut, typed, me = GetCurrentProcess();
    PROCESS_INFORMATION copying, child;
    DWORD n = GetModuleFileNameA(NULL, self, sizeof self);
    if (argc != 2 || n == 0 || n >= sizeof self ||
        snprintf(command, sizeof command, "\"%s\"", argv[1]) >= (int)sizeof command) {
        fprintf(stderr, "nowait_pipes: usage: nowait_pipes PROGRAM\n");
        return 125;
    }
    snprintf(copier, sizeof copier, "\"%s\" --copy", self);
    /* The copier gets our input and the pipe's writing end, PROGRAM the
     * pipe's reading end and the other pipe's writing end: each end is made
     * inheritable only while the one process that is to hold it starts. */
    if (!CreatePipe(&keysIn, &keysOut, NULL, 4096) ||
        !CreatePipe(&shownIn, &shownOut, NULL, 4096) ||
        !SetNamedPipeHandleState(keysIn, &nowait, NULL, NULL) ||
        !SetNamedPipeHandleState(shownOut, &nowait, NULL, NULL) ||
        !DuplicateHandle(me, GetStdHandle(STD_INPUT_HANDLE), me, &typed, 0, TRUE,
                         DUPLICATE_SAME_ACCESS) ||
        !SetHandleInformation(keysOut, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
        !start(copier, typed, keysOut, &copying) || !CloseHandle(typed) || !CloseHandle(keysOut) ||
        !SetHandleInformation(keysIn, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) ||
        !SetHandleInformation(shownOut, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        fprintf(stderr, "nowait_pipes: no pipes: %lu\n", GetLastError());
        return 125;
    }
    if (!start(command, keysIn, shownOut, &child)) {
        fprintf(stderr, "nowait_pipes: cannot start %s: %lu\n", argv[1], GetLastError());
        TerminateProcess(copying.hProcess, 125);
        return 125;
    }
    CloseHandle(keysIn);
    CloseHandle(shownOut);
    copy(shownIn, GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(shownIn); /* our reader has gone: PROGRAM's writes fail, as they would */
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &status);
    TerminateProcess(copying.hProcess, 0); /* it may still wait for input PROGRAM no longer reads */
    return (int)status;
}
