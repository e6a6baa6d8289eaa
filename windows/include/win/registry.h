// Registry functions.
#pragma once

#include <winreg.h>
#include "win/types.h"
