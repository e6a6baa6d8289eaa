// Active Scripting.
#pragma once

#include <activscp.h>
#include "win/types.h"
