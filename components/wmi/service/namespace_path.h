// The network resource a client passes to IWbemLocator::ConnectServer, taken apart:
//
//   \\.\root\cimv2   //./root/cimv2   \\localhost\root\cimv2   \\<this machine>\root\cimv2
//   root\cimv2       (no machine part: this machine)
//
// Separators may be `\` or `/`, mixed. The machine part is local when it is ".",
// "localhost", "127.0.0.1", "::1" or this machine's NetBIOS, DNS host or fully qualified
// name (case-insensitive). Pure functions, thread safe.
#pragma once

#include <string>
#include <string_view>

#include "win/wbemcli.h"

namespace kvwmi {

// On success `ns` is the namespace with `\` separators and no leading or trailing one
// ("root\cimv2", the case as given). WBEM_E_INVALID_PARAMETER for a null path,
// WBEM_E_TRANSPORT_FAILURE for another machine, WBEM_E_INVALID_NAMESPACE for a path without
// a namespace or with an empty element ("root\\cimv2").
HRESULT ParseNamespacePath(const char16_t* path, std::u16string& ns);

bool IsLocalMachineName(std::u16string_view name);

// This machine's name as WMI reports it in __SERVER and __PATH (NetBIOS form, upper case).
std::u16string LocalServerName();

}  // namespace kvwmi
