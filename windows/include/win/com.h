// COM: apartments, activation, GUIDs.
#pragma once

#include <objbase.h>
#include "win/types.h"
