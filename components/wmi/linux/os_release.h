// The distribution's identity from os-release: the platform layer's reader, under the names
// the Linux readers use.
#pragma once

#include "kvwin/os_release.h"

namespace kvlinux {

using kvwin::OsRelease;
using kvwin::ParseOsRelease;
using kvwin::ReadOsRelease;

}  // namespace kvlinux
