// VersionResource: a file's version information, read once into a block this holder owns.
//
//   VersionResource resource;
//   resource.LoadOrRaise(path);                       // or: if (!resource.Load(path)) ...
//   if (const VS_FIXEDFILEINFO* fixed = resource.FixedInfo()) ...
//
// One object is used by one thread at a time; separate objects are independent.
#pragma once

#include <memory>

#include "win/types.h"
#include "win/version.h"

class VersionResource {
  public:
    VersionResource() = default;
    VersionResource(const VersionResource&) = delete;
    VersionResource& operator=(const VersionResource&) = delete;

    // Reads the version information of path, replacing what was held. False when the file
    // has none (or cannot be read), with the Win32 error left as the last error; the holder
    // then holds nothing.
    bool Load(const WCHAR* path);

    // Load, raising on failure a described _com_error: the last error as an HRESULT
    // (0x80070000 | low 16 bits) and "Error loading version resource: <system text>".
    void LoadOrRaise(const WCHAR* path);

    // The root block ("\"). When nothing is held yet, the host executable's own version
    // information is loaded first. Null when there is none. Points into the held block.
    const VS_FIXEDFILEINFO* FixedInfo();

  private:
    std::unique_ptr<BYTE[]> block_;
};
