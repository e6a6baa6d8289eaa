#include "load/process_temp_folder_step.h"

#include "files/temp_folder.h"

namespace Kavrel {

void RunProcessTempFolderLoadStep() {
    InitProcessTempFolder();
}

}  // namespace Kavrel
