// Security: SIDs, descriptors, tokens.
#pragma once

#include <aclapi.h>
#include <sddl.h>
#include "win/types.h"
