// The packages of the dpkg database: the platform layer's reader, under the names the
// Linux readers use.
#pragma once

#include "kvwin/dpkg_status.h"

namespace kvlinux {

using kvwin::DpkgPackage;
using kvwin::PackageInstallTime;
using kvwin::ParseDpkgStatus;
using kvwin::ReadDpkgStatus;

}  // namespace kvlinux
