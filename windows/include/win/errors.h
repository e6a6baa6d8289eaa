// Error codes and HRESULTs.
#pragma once

#include <winerror.h>
#include "win/types.h"
