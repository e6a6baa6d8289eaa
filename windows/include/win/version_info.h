// Operating system versions.
#pragma once

#include <winternl.h>
#include "win/types.h"
