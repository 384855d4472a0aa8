/* The floor for start-up: a minimal C program that prints the menu and exits. */
#include <stdio.h>

int main(void)
{
    fputs(" CPTD DLL Test Utility \n"
          "--------------------------------------------\n"
          "\n\n"
          " 1. List all the Countries that are supported by CPTD\n"
          "\n"
          "99. EXIT \n"
          " -> \n"
          " EXIT Selected.",
          stdout);
    return 0;
}
