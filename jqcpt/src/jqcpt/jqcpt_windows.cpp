/*
 * jqcpt_windows.cpp - the CPTD library's calls to Windows. Paths and the
 * environment are read in their wide form and shown in UTF-8.
 */
#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <wchar.h>
#include <windows.h>

#include "jqcpt.h"
#include "jqcpt_sys.h"

/* Opens path as open_country_file does. */
static int open_regular_file(const wchar_t *path, int *error)
{
    int fd = _wopen(path, _O_RDONLY | _O_BINARY);
    struct _stat64 st;
    bool opened = fd >= 0 && _fstat64(fd, &st) == 0;
    bool regular = opened && (st.st_mode & _S_IFMT) == _S_IFREG;
    if (regular && st.st_size <= MAX_FILE_BYTES)
        return fd;
    *error = !opened ? errno : regular ? FILE_TOO_LARGE : FILE_NOT_REGULAR;
    if (fd >= 0)
        _close(fd);
    return -1;
}

/*
 * Converts the n units of wide to UTF-8 in to, which has room for PATH_BYTES,
 * and ends it with a zero. Text longer than SHOWN_BYTES is cut between
 * characters, but after more than SHOWN_BYTES, so that a message shows it
 * cut. Returns the number of bytes before the zero.
 */
static size_t utf8_for_message(const wchar_t *wide, size_t n, char *to)
{
    size_t units = 0, bytes = 0;
    while (units < n && bytes <= SHOWN_BYTES) {
        wchar_t u = wide[units];
        bool pair = u >= 0xD800 && u <= 0xDBFF && units + 1 < n && wide[units + 1] >= 0xDC00 &&
                    wide[units + 1] <= 0xDFFF;
        bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : pair ? 4 : 3; /* a lone surrogate becomes U+FFFD */
        units += pair ? 2 : 1;
    }
    static_assert(PATH_BYTES > SHOWN_BYTES + 4, "room for the character that passes the limit");
    int written = units == 0 ? 0
                             : WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(units), to,
                                                   PATH_BYTES - 1, nullptr, nullptr);
    to[written] = 0;
    return static_cast<size_t>(written);
}

int open_country_file(int *error, char *shown)
{
    const wchar_t *named = _wgetenv(L"JQCPT_COUNTRY_FILE");
    if (named && *named) {
        (void)utf8_for_message(named, wcslen(named), shown);
        return open_regular_file(named, error);
    }
    HMODULE module = nullptr;
    wchar_t path[MAX_PATH + 64];
    DWORD n = 0;
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                               GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           (LPCWSTR)(void *)&JQcpt_CountryList, &module))
        n = GetModuleFileNameW(module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        *error = FILE_NO_FOLDER;
        (void)snprintf(shown, PATH_BYTES, "%s", JQCPT_DATA_RELPATH);
        return -1;
    }
    wchar_t *slash = wcsrchr(path, L'\\');
    size_t dir = slash ? (size_t)(slash - path + 1) : 0;
    int written =
        swprintf(path + dir, sizeof path / sizeof path[0] - dir, L"%hs", JQCPT_DATA_RELPATH);
    (void)utf8_for_message(path, wcslen(path), shown);
    if (written <= 0) {
        *error = ENAMETOOLONG;
        return -1;
    }
    return open_regular_file(path, error);
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

void write_error_line(char *text, size_t n)
{
    text[n++] = '\r';
    text[n++] = '\n';
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    for (DWORD done = 0; done < n;) {
        DWORD wrote = 0;
        if (!WriteFile(err, text + done, static_cast<DWORD>(n) - done, &wrote, nullptr))
            return; /* the line cannot be written anywhere */
        if (wrote == 0)
            Sleep(1); /* a full PIPE_NOWAIT pipe takes nothing yet */
        done += wrote;
    }
}

const bool VARIABLE_CASE_IGNORED = true;

void for_each_variable(void (*take)(const char *name, size_t len))
{
    wchar_t *block = GetEnvironmentStringsW();
    if (!block)
        return;
    for (const wchar_t *entry = block; *entry; entry += wcslen(entry) + 1) {
        char name[PATH_BYTES];
        /* A name may begin with '=', as cmd's "=C:" does, and ends at the next. */
        take(name, utf8_for_message(entry, wcscspn(entry + 1, L"=") + 1, name));
    }
    FreeEnvironmentStringsW(block);
}
