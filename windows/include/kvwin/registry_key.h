// The portable helper, shared with the platform layer.
#pragma once

#include "../../../winapi/include/kvwin/registry_key.h"
