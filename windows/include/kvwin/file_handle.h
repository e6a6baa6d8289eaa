// The portable helper, shared with the platform layer (header-only over CloseHandle).
#pragma once

#include "../../../winapi/include/kvwin/file_handle.h"
