// Error codes and HRESULTs.
#pragma once

#include "win/types.h"

#include <winerror.h>
