/* A C program linked with the library: it starts, the library and the layer load and run
 * their load steps, and it ends without a query. Asked with "rss", it prints its resident
 * size while idle, as the empty program does. */
#include <string.h>

#include "resident_size.h"

/* The export as a C program sees it (kavrel/kavrel.h is C++): only its address is taken. */
extern long GetInventoryInformationInternal(const void* queryDocument, void** result);

int main(int argc, char** argv) {
    /* A use of an export, so the link keeps the library. */
    void* volatile entry = (void*)&GetInventoryInformationInternal;
    (void)entry;
    if (argc > 1 && strcmp(argv[1], "rss") == 0)
        PrintResidentSize();
    return 0;
}
