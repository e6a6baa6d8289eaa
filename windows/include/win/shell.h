// Well-known folders.
#pragma once

#include <shlobj.h>
#include <shlwapi.h>
#include "win/types.h"
