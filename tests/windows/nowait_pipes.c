/*
 * nowait_pipes.exe PROGRAM: runs PROGRAM with its standard input and output
 * on pipes in PIPE_NOWAIT mode (a read of an empty pipe fails with
 * ERROR_NO_DATA, a write to a full one moves nothing), passes this
 * program's own standard input to it and its output to this program's
 * standard output, and exits with its status (125 when it cannot start it).
 * Standard error is passed as it is.
 */
#include <stdio.h>
#include <windows.h>

static HANDLE keys, shown; /* our ends of the two pipes */

/* Copies what this program reads to PROGRAM's input, then closes it. */
static DWORD WINAPI pass_input(LPVOID unused)
{
    (void)unused;
    char buf[4096];
    DWORD got, wrote;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buf, sizeof buf, &got, NULL) && got > 0)
        if (!WriteFile(keys, buf, got, &wrote, NULL))
            break;
    CloseHandle(keys);
    return 0;
}

/* A pipe whose end given to PROGRAM is inheritable and in PIPE_NOWAIT mode. */
static BOOL nowait_pipe(HANDLE *theirs, HANDLE *ours, BOOL theyRead)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE read, write;
    DWORD mode = PIPE_READMODE_BYTE | PIPE_NOWAIT;
    if (!CreatePipe(&read, &write, &inherit, 4096))
        return FALSE;
    *theirs = theyRead ? read : write;
    *ours = theyRead ? write : read;
    return SetNamedPipeHandleState(*theirs, &mode, NULL, NULL) &&
           SetHandleInformation(*ours, HANDLE_FLAG_INHERIT, 0);
}

int main(int argc, char **argv)
{
    char command[32768];
    STARTUPINFOA start = {0};
    PROCESS_INFORMATION child;
    DWORD status = 125;
    if (argc != 2 || snprintf(command, sizeof command, "\"%s\"", argv[1]) >= (int)sizeof command ||
        !nowait_pipe(&start.hStdInput, &keys, TRUE) ||
        !nowait_pipe(&start.hStdOutput, &shown, FALSE)) {
        fprintf(stderr, "nowait_pipes: usage: nowait_pipes PROGRAM (or no pipes: %lu)\n",
                GetLastError());
        return 125;
    }
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    if (!CreateProcessA(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, &start, &child)) {
        fprintf(stderr, "nowait_pipes: cannot start %s: %lu\n", argv[1], GetLastError());
        return 125;
    }
    CloseHandle(start.hStdInput);
    CloseHandle(start.hStdOutput);
    CloseHandle(CreateThread(NULL, 0, pass_input, NULL, 0, NULL));

    char buf[4096];
    DWORD got, wrote;
    while (ReadFile(shown, buf, sizeof buf, &got, NULL) && got > 0)
        if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buf, got, &wrote, NULL))
            break;
    CloseHandle(shown); /* our reader has gone: PROGRAM's writes fail, as they would */
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &status);
    return (int)status;
}
