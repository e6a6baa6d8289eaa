// BSTR allocation. Layout: an 8-byte header whose last 4 bytes hold the byte length, the
// characters, then a 2-byte NUL the length excludes. The header keeps the text 8-aligned.
#include <cstdlib>
#include <cstring>

#include "win/oleauto.h"

namespace {

constexpr size_t kHeader = 8;
constexpr UINT kMaxBytes = 0x7FFFFFF0u;

BSTR AllocateBytes(const void* data, UINT bytes) {
    if (bytes > kMaxBytes)
        return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(kHeader + size_t(bytes) + 2));
    if (!block)
        return nullptr;
    std::memset(block, 0, kHeader);
    uint32_t length = bytes;
    std::memcpy(block + kHeader - 4, &length, 4);
    if (data) {
        std::memcpy(block + kHeader, data, bytes);
    } else {
        std::memset(block + kHeader, 0, bytes);
    }
    block[kHeader + bytes] = 0;
    block[kHeader + bytes + 1] = 0;
    return reinterpret_cast<BSTR>(block + kHeader);
}

size_t WideLen(const OLECHAR* s) {
    size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

}  // namespace

extern "C" {

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz)
        return nullptr;
    size_t n = WideLen(psz);
    if (n > kMaxBytes / 2)
        return nullptr;
    return AllocateBytes(psz, UINT(n * 2));
}

BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    if (ui > kMaxBytes / 2)
        return nullptr;
    return AllocateBytes(strIn, ui * 2);
}

BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
    return AllocateBytes(psz, len);
}

INT SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len) {
    if (!pbstr)
        return FALSE;
    // psz may point into the old string, so copy before freeing it.
    BSTR fresh = SysAllocStringLen(psz, len);
    if (!fresh)
        return FALSE;
    SysFreeString(*pbstr);
    *pbstr = fresh;
    return TRUE;
}

INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
    if (!pbstr)
        return FALSE;
    if (!psz) {
        SysFreeString(*pbstr);
        *pbstr = nullptr;
        return TRUE;
    }
    size_t n = WideLen(psz);
    if (n > kMaxBytes / 2)
        return FALSE;
    return SysReAllocStringLen(pbstr, psz, UINT(n));
}

void SysFreeString(BSTR bstrString) {
    if (bstrString)
        std::free(reinterpret_cast<unsigned char*>(bstrString) - kHeader);
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr)
        return 0;
    uint32_t length;
    std::memcpy(&length, reinterpret_cast<unsigned char*>(bstr) - 4, 4);
    return length;
}

UINT SysStringLen(BSTR pbstr) {
    return SysStringByteLen(pbstr) / 2;
}

}  // extern "C"
