// COM: apartments, activation, GUIDs.
#pragma once

#include "win/types.h"

#include <objbase.h>
