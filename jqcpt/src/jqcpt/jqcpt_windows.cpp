/*
 * jqcpt_windows.cpp - the CPTD library's calls to Windows (jqcpt_sys.h):
 * wide paths and environment, the default file beside the DLL, messages
 * with WriteFile and CR LF.
 */
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <wchar.h>
#include <windows.h>

#include "jqcpt.h"
#include "jqcpt_sys.h"

static int file_open(const wchar_t *path, long long *size, int *error)
{
    int fd = _wopen(path, _O_RDONLY | _O_BINARY);
    struct _stat64 st;
    bool opened = fd >= 0 && _fstat64(fd, &st) == 0;
    if (!opened || (st.st_mode & _S_IFMT) != _S_IFREG) {
        *error = opened ? FILE_NOT_REGULAR : errno;
        if (fd >= 0)
            _close(fd);
        return -1;
    }
    *size = (long long)st.st_size;
    return fd;
}

static void set_wide_path(char *path, const wchar_t *wide)
{
    if (!WideCharToMultiByte(CP_UTF8, 0, wide, -1, path, PATH_BYTES, nullptr, nullptr))
        (void)snprintf(path, PATH_BYTES, "%s", "(a path too long to show)");
}

int file_open_countries(long long *size, int *error, char *shown)
{
    const wchar_t *named = _wgetenv(L"JQCPT_COUNTRY_FILE");
    if (named && *named) {
        set_wide_path(shown, named);
        return file_open(named, size, error);
    }

    /* The default file lies relative to this DLL. */
    HMODULE self = nullptr;
    wchar_t path[MAX_PATH + 64];
    DWORD n = 0;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCWSTR)(void *)&JQcpt_CountryList, &self))
        n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        *error = FILE_NO_FOLDER;
        (void)snprintf(shown, PATH_BYTES, "%s", JQCPT_DATA_RELPATH);
        return -1;
    }
    wchar_t *slash = wcsrchr(path, L'\\');
    size_t dir = slash ? (size_t)(slash - path + 1) : 0;
    int written =
        swprintf(path + dir, sizeof path / sizeof path[0] - dir, L"%hs", JQCPT_DATA_RELPATH);
    set_wide_path(shown, path);
    if (written <= 0) {
        *error = ENAMETOOLONG;
        return -1;
    }
    return file_open(path, size, error);
}

long file_read(int fd, unsigned char *buf, size_t size)
{
    return _read(fd, buf, (unsigned)size);
}

void file_close(int fd)
{
    _close(fd);
}

bool diagnostics_on()
{
    const wchar_t *value = _wgetenv(L"JQCPT_DIAGNOSTICS");
    return value && *value;
}

void write_message(char *text, size_t n)
{
    text[n++] = '\r';
    text[n++] = '\n';
    DWORD wrote = 0;
    (void)WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, (DWORD)n, &wrote, nullptr);
}

/* Names are compared in capitals: Windows does not tell jqcpt_x from JQCPT_X. */
void each_variable(void (*take)(const char *name, size_t len))
{
    wchar_t *block = GetEnvironmentStringsW();
    if (!block)
        return;
    for (const wchar_t *entry = block; *entry; entry += wcslen(entry) + 1) {
        char name[64]; /* its first 64 characters, ASCII letters in capitals */
        size_t len = 0;
        for (; entry[len] && entry[len] != L'='; len++) {
            wchar_t c = entry[len] >= L'a' && entry[len] <= L'z' ? entry[len] - 32 : entry[len];
            if (len < sizeof name)
                name[len] = (char)(c < 0x80 ? c : L'?');
        }
        if (len >= 6 && memcmp(name, "JQCPT_", 6) == 0)
            take(name, len < sizeof name ? len : sizeof name);
    }
    FreeEnvironmentStringsW(block);
}
