// Operating system versions.
#pragma once

#include "win/types.h"

#include <winternl.h>
