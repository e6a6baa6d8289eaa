// Kernel functions of this area (the SDK's kernel32 headers).
#pragma once

#include "win/types.h"

#include <psapi.h>
