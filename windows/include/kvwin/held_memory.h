// The portable helper, shared with the platform layer.
#pragma once

#include "../../../winapi/include/kvwin/held_memory.h"
