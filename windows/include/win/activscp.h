// Active Scripting.
#pragma once

#include "win/types.h"

#include <activscp.h>
