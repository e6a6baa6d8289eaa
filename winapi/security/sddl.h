// The descriptor language: text to DescriptorValue and back.
#pragma once

#include <string>
#include <string_view>

#include "descriptor_model.h"

namespace kvwin {

// Parses descriptor text. On failure returns the Win32 error (ERROR_INVALID_PARAMETER,
// ERROR_INVALID_SID, ERROR_INVALID_ACL); 0 on success.
DWORD ParseSddl(std::u16string_view text, DescriptorValue& out);

// The text of the parts `information` names (OWNER_, GROUP_, DACL_, SACL_ and
// LABEL_SECURITY_INFORMATION).
std::u16string PrintSddl(const DescriptorValue& descriptor, SECURITY_INFORMATION information);

}  // namespace kvwin
