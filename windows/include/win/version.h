// Version resources.
#pragma once

#include <winver.h>
#include "win/types.h"
