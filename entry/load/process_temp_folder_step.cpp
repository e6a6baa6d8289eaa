#include "load/process_temp_folder_step.h"

namespace Kavrel {

void RunProcessTempFolderLoadStep() {}

}  // namespace Kavrel
