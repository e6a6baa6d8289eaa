/* A C program linked with the library: it starts, the library and the layer load and run
 * their load steps, and it ends without a query. Asked with "rss", it prints its resident
 * size while idle, as the empty program does. Asked with "code <kB>", it prints how much of
 * the layer's and the library's code is resident and fails when the layer's is above <kB>:
 * the code that runs at load is placed together by the build, and a list of it gone stale or
 * a link that no longer orders it shows here as code faulted in all over the layer. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "resident_size.h"

/* The export as a C program sees it (kavrel/kavrel.h is C++): only its address is taken. */
extern long GetInventoryInformationInternal(const void* queryDocument, void** result);

/* The resident kB of the executable mappings of the module whose file name is `module`
 * (/proc/self/smaps), or -1 when it is not mapped or smaps cannot be read. */
static long ResidentCodeKb(const char* module) {
    FILE* smaps = fopen("/proc/self/smaps", "r");
    if (!smaps)
        return -1;
    const size_t moduleLength = strlen(module);
    long total = -1;
    int inCode = 0;
    char line[4096];
    while (fgets(line, sizeof line, smaps)) {
        char perms[8] = "";
        unsigned long start = 0, end = 0;
        if (sscanf(line, "%lx-%lx %7s", &start, &end, perms) == 3) {
            /* A mapping's first line: the path, if any, is its last field. */
            line[strcspn(line, "\n")] = '\0';
            const size_t length = strlen(line);
            inCode = perms[2] == 'x' && length > moduleLength + 1 &&
                     line[length - moduleLength - 1] == '/' &&
                     strcmp(line + length - moduleLength, module) == 0;
        } else if (inCode && strncmp(line, "Rss:", 4) == 0) {
            total = (total < 0 ? 0 : total) + strtol(line + 4, NULL, 10);
        }
    }
    fclose(smaps);
    return total;
}

int main(int argc, char** argv) {
    /* A use of an export, so the link keeps the library. */
    void* volatile entry = (void*)&GetInventoryInformationInternal;
    (void)entry;
    if (argc > 1 && strcmp(argv[1], "rss") == 0)
        PrintResidentSize();
    if (argc > 2 && strcmp(argv[1], "code") == 0) {
        const long layer = ResidentCodeKb("libkavrel-win.so");
        const long library = ResidentCodeKb("libkavrel.so");
        printf("resident code: libkavrel-win.so %ld kB, libkavrel.so %ld kB\n", layer, library);
        return layer > 0 && layer <= strtol(argv[2], NULL, 10) ? 0 : 1;
    }
    return 0;
}
