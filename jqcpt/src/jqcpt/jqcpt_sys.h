/*
 * jqcpt_sys.h - what the CPTD library needs of the system it runs on.
 * jqcpt_posix.cpp and jqcpt_windows.cpp each implement it for one platform.
 */
#ifndef JQCPT_SYS_H
#define JQCPT_SYS_H

#include <stddef.h>

/* A country file is a few kilobytes, so a larger file than this is refused. */
enum { MAX_FILE_BYTES = 1 << 20 };

/* These codes say why the country file cannot be used where no errno value does. */
enum { FILE_NOT_REGULAR = -1, FILE_TOO_LARGE = -2, FILE_NO_FOLDER = -3 };

/* A message shows a path or a variable's name of up to SHOWN_BYTES whole and
   cuts a longer one. PATH_BYTES holds a path in UTF-8 and its zero. A path
   cut to fit keeps more than SHOWN_BYTES, so that a message shows it cut. */
enum { SHOWN_BYTES = 4094, PATH_BYTES = SHOWN_BYTES + 8 };

/*
 * Opens the country file that JQCPT_COUNTRY_FILE names or, when that is
 * unset or empty, the one at JQCPT_DATA_RELPATH from the library's folder.
 * Writes its path to shown as messages show it. Returns a descriptor, or -1
 * with an errno value or a FILE_ code in *error.
 */
int open_country_file(int *error, char *shown);

/* Reads up to size bytes. Returns the number read, 0 at the end of the file,
   or -1 with errno set. */
long file_read(int fd, unsigned char *buf, size_t size);

void file_close(int fd);

/* Returns whether JQCPT_DIAGNOSTICS is set and not empty. */
bool diagnostics_on();

/* Writes the n bytes of text and a line end to standard error, and waits
   while standard error is full. text has room for two more bytes. */
void write_error_line(char *text, size_t n);

/* Calls take with the name of each environment variable, in UTF-8. A name
   longer than SHOWN_BYTES may arrive cut, but still longer than that. */
void for_each_variable(void (*take)(const char *name, size_t len));

/* True where the system takes two names that differ only in case for one. */
extern const bool VARIABLE_CASE_IGNORED;

#endif /* JQCPT_SYS_H */
