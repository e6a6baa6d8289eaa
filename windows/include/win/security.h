// Security: SIDs, descriptors, tokens.
#pragma once

#include "win/types.h"

#include <aclapi.h>
#include <sddl.h>
