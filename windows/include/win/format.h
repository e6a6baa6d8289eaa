// printf-style wide formatting.
#pragma once

#include "win/types.h"

#include <cstdio>
#include <cwchar>
