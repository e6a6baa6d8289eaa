#include "dll_main.h"

namespace Kavrel {

BOOL DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

}  // namespace Kavrel
