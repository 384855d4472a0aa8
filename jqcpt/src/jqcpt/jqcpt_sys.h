/*
 * jqcpt_sys.h - what the CPTD library needs of the system it runs on. One
 * file for each platform implements it: jqcpt_posix.cpp, jqcpt_windows.cpp.
 */
#ifndef JQCPT_SYS_H
#define JQCPT_SYS_H

#include <stddef.h>

/* Why the country file cannot be used, besides an errno value. */
enum { FILE_NOT_REGULAR = -1, FILE_TOO_LARGE = -2, FILE_NO_FOLDER = -3 };

/* Bytes of a path or a variable's name that a message shows whole; it
   shows a longer one cut and marked. */
enum { SHOWN_BYTES = 4094 };

/* Room for a path as messages show it, in UTF-8, and its zero. A path cut
   to fit keeps more than SHOWN_BYTES bytes, so that it shows as cut. */
enum { PATH_BYTES = SHOWN_BYTES + 8 };

/*
 * Opens the country file: the one JQCPT_COUNTRY_FILE names, or else the one
 * at JQCPT_DATA_RELPATH from the library's own folder. Gives a descriptor
 * and the file's size, or -1 and why in *error (an errno value or a FILE_
 * code). shown receives the path used, as messages show it: UTF-8,
 * PATH_BYTES at most.
 */
int open_country_file(long long *size, int *error, char *shown);

/* Reads up to size bytes: how many, 0 at the end, -1 with errno on an error. */
long file_read(int fd, unsigned char *buf, size_t size);

void file_close(int fd);

/* Whether JQCPT_DIAGNOSTICS is set and not empty. */
bool diagnostics_on();

/* Writes the n bytes of text and a line end to standard error, waiting
   while it is full; text has room for the two bytes of a line end after
   them. */
void write_error_line(char *text, size_t n);

/* Calls take with the name of each variable of the environment, in UTF-8.
   A name longer than SHOWN_BYTES may arrive cut, but still longer. */
void for_each_variable(void (*take)(const char *name, size_t len));

/* Whether the system takes two names that differ only in case for one. */
extern const bool VARIABLE_CASE_IGNORED;

#endif /* JQCPT_SYS_H */
