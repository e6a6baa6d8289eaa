// Registry functions.
#pragma once

#include "win/types.h"

#include <winreg.h>
