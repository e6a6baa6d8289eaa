// The portable helper, shared with the platform layer.
#pragma once

#include "../../../winapi/include/kvwin/ascii_case.h"
