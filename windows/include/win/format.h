// printf-style wide formatting.
#pragma once

#include <cstdio>
#include <cwchar>
#include "win/types.h"
