// Version resources: the version block of a module file and the values inside it.
//
// GetFileVersionInfoSizeW and GetFileVersionInfoW read the block from
//   - a Windows image (PE): its RT_VERSION resource, the first one found;
//   - an ELF object: its ".kavrel_version" section, which the project's own shared objects
//     (libkavrel.so, libkavrel-win.so) carry, made by the build from the project version.
//   - a printer description (PPD, as the spooler names for a queue's driver): a block made
//     from its *FileVersion (file and product version), *Manufacturer, *ModelName,
//     *NickName and *PCFileName; a PPD without *FileVersion has none.
// VerQueryValueW reads "\" (the VS_FIXEDFILEINFO), "\VarFileInfo\Translation" and
// "\StringFileInfo\<language><code page>\<name>" out of such a block. Every function here
// is reentrant; a block may be queried from many threads at once.
#pragma once

#include "win/types.h"

extern "C" {

#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u
#define VS_FFI_FILEFLAGSMASK 0x0000003Fu

#define VS_FF_DEBUG 0x00000001u
#define VS_FF_PRERELEASE 0x00000002u
#define VS_FF_PATCHED 0x00000004u
#define VS_FF_PRIVATEBUILD 0x00000008u
#define VS_FF_INFOINFERRED 0x00000010u
#define VS_FF_SPECIALBUILD 0x00000020u

#define VOS_UNKNOWN 0x00000000u
#define VOS_NT 0x00040000u
#define VOS__WINDOWS32 0x00000004u
#define VOS_NT_WINDOWS32 0x00040004u

#define VFT_UNKNOWN 0x00000000u
#define VFT_APP 0x00000001u
#define VFT_DLL 0x00000002u

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;  // VS_FFI_SIGNATURE
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;  // major << 16 | minor
    DWORD dwFileVersionLS;  // build << 16 | revision
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

// The size of the version block of a file, 0 on failure with the last error:
// ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND, ERROR_BAD_FORMAT (neither a Windows image
// nor an ELF object, or headers that do not hold together), ERROR_RESOURCE_DATA_NOT_FOUND
// (no version block, or a damaged one), ERROR_RESOURCE_TYPE_NOT_FOUND (an image with
// resources but none of type RT_VERSION). *lpdwHandle (may be null) is set to 0.
KVWIN_API DWORD GetFileVersionInfoSizeW(LPCWSTR lptstrFilename, LPDWORD lpdwHandle);

// Copies the version block into lpData. dwLen must be at least the size the call above
// gives; a smaller buffer fails with ERROR_INSUFFICIENT_BUFFER (Windows would copy a cut
// block, which no reader could then use safely). dwHandle is ignored.
KVWIN_API BOOL GetFileVersionInfoW(LPCWSTR lptstrFilename, DWORD dwHandle, DWORD dwLen,
                                   LPVOID lpData);

// Finds a value in a block from GetFileVersionInfoW. Names compare without regard to case;
// '\' separates them and repeated separators count once. On success *lplpBuffer points
// into the block and *puLen is the value's length: characters (with the terminator) for a
// text value, bytes otherwise (sizeof(VS_FIXEDFILEINFO) for "\"). FALSE when the value is
// absent or the block is damaged; the last error is then ERROR_RESOURCE_TYPE_NOT_FOUND.
KVWIN_API BOOL VerQueryValueW(LPCVOID pBlock, LPCWSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen);

}  // extern "C"
