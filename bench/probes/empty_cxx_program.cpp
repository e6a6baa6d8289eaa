// The part of the start-up no library of ours adds: a C++ program that does nothing, linked
// with the C++ runtime and with a RUNPATH, as a host built with `pkg-config kavrel` is. The
// loader starts the C++ runtime and searches the RUNPATH folder's hardware-capability
// subfolders for its first library, as it does for the probe that loads the library.
#include <cstring>

#include "resident_size.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "rss") == 0)
        PrintResidentSize();
    return 0;
}
