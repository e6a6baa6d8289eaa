/* The baseline of the start-up and memory figures: a C program that does nothing but, asked
 * with "rss", print its resident size as the probe that loads the library does. */
#include <string.h>

#include "resident_size.h"

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "rss") == 0)
        PrintResidentSize();
    return 0;
}
