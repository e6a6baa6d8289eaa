/* What both start-up probes do when asked with "rss": print the process's resident size
 * (the VmRSS line of /proc/self/status), so that the two differ only by the library. */
#ifndef KAVREL_BENCH_RESIDENT_SIZE_H
#define KAVREL_BENCH_RESIDENT_SIZE_H

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

#endif
