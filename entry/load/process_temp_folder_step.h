// The first load step: choosing the process's agent temp folder and pointing TEMP and TMP
// at it (files/temp_folder.h).
#pragma once

namespace Kavrel {

// InitProcessTempFolder: never fails and never throws.
void RunProcessTempFolderLoadStep();

}  // namespace Kavrel
