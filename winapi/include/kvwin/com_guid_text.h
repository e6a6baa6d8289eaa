// GUID text in the one form COM writes and reads: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace kvwin {

// Braced, upper case, 38 characters.
KVWIN_API std::u16string GuidToText(const GUID& guid);
// Accepts exactly the braced form (hex digits of either case); false for anything else.
KVWIN_API bool GuidFromText(std::u16string_view text, GUID& guid);

}  // namespace kvwin
