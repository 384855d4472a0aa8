/*
 * syscall_floor - the system calls of a 1,000-listing session and nothing
 * else: per listing, the library's open, fstat, read and close of the
 * country file and one write of the menu and the listing with its pause
 * prompt, of the sizes the utility writes, as a script that types ahead
 * gets them. Its time is the least any utility can take that re-reads the
 * file at every call.
 *
 *   syscall_floor LISTINGS COUNTRY-FILE MENU-BYTES LISTING-BYTES
 */
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

static char text[65536];

int main(int argc, char **argv)
{
    if (argc != 5)
        return 2;
    long listings = strtol(argv[1], NULL, 10);
    size_t menu = strtoul(argv[3], NULL, 10), listing = strtoul(argv[4], NULL, 10);
    if (menu + listing > sizeof text)
        return 2;
    for (size_t k = 0; k < sizeof text; k++)
        text[k] = (char)('a' + k % 26);
    for (long n = 0; n < listings; n++) {
        int fd = open(argv[2], O_RDONLY | O_CLOEXEC);
        struct stat st;
        char buf[4096];
        if (fd < 0 || fstat(fd, &st) != 0 || read(fd, buf, sizeof buf) < 0 || close(fd) != 0)
            return 1;
        if (write(1, text, menu + listing) < 0)
            return 1;
    }
    return 0;
}
