/* The baseline of the start-up and memory figures: a C program that does nothing but, asked
 * with "rss", print its resident size as the probe that loads the library does. */
#include <stdio.h>
#include <string.h>

static void PrintResidentSize(void) {
    FILE* status = fopen("/proc/self/status", "r");
    if (!status)
        return;
    char line[256];
    while (fgets(line, sizeof line, status))
        if (strncmp(line, "VmRSS:", 6) == 0)
            fputs(line + 6, stdout);
    fclose(status);
}

int main(int argc, char** argv) {
    if (argc > 1 && strcmp(argv[1], "rss") == 0)
        PrintResidentSize();
    return 0;
}
