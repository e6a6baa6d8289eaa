// Well-known folders.
#pragma once

#include "win/types.h"

#include <shlobj.h>
#include <shlwapi.h>
