// The first load step: choosing the process's agent temp folder and pointing TEMP and TMP
// at it.
#pragma once

namespace Kavrel {

// TODO: does nothing yet. The files subsystem's InitProcessTempFolder takes its place here
// when it exists; this function is then the one line that calls it.
void RunProcessTempFolderLoadStep();

}  // namespace Kavrel
