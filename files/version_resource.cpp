// VersionResource over GetFileVersionInfoSizeW, GetFileVersionInfoW and VerQueryValueW.
#include "files/version_resource.h"

#include <new>

#include "errors/error_description.h"
#include "files/module_paths.h"
#include "kvwin/wide_string.h"
#include "win/errors.h"

bool VersionResource::Load(const WCHAR* path) {
    block_.reset();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0)
        return false;
    std::unique_ptr<BYTE[]> block(new (std::nothrow) BYTE[size]);
    if (!block) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (!GetFileVersionInfoW(path, 0, size, block.get()))
        return false;
    block_ = std::move(block);
    return true;
}

void VersionResource::LoadOrRaise(const WCHAR* path) {
    if (Load(path))
        return;
    const DWORD error = GetLastError();
    // Always a failure code, even for a last error of 0.
    const HRESULT hr = static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
    ThrowComErrorWithSystemText(hr, error, TEXT("Error loading version resource:"));
}

const VS_FIXEDFILEINFO* VersionResource::FixedInfo() {
    if (!block_) {
        const WString host = GetModuleFilePath(nullptr);
        if (host.empty() || !Load(host.c_str()))
            return nullptr;
    }
    void* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block_.get(), TEXT("\\"), &fixed, &length) ||
        length < sizeof(VS_FIXEDFILEINFO))
        return nullptr;
    return static_cast<const VS_FIXEDFILEINFO*>(fixed);
}
