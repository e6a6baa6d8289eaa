// Message tables and FormatMessageW.
#pragma once

#include "win/types.h"
