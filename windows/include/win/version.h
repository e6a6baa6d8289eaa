// Version resources.
#pragma once

#include "win/types.h"

#include <winver.h>
