// GUID text, random GUIDs and task memory.
#include <sys/random.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "kvwin/com_guid_text.h"
#include "kvwin/hex_digit.h"
#include "kvwin/last_error.h"
#include "kvwin/utf.h"
#include "win/com.h"

extern "C" {
const IID IID_IUnknown = __uuidof(IUnknown);
const IID IID_IClassFactory = __uuidof(IClassFactory);
const IID IID_IDispatch = __uuidof(IDispatch);
const IID IID_IErrorInfo = __uuidof(IErrorInfo);
const IID IID_ICreateErrorInfo = __uuidof(ICreateErrorInfo);
const IID IID_ISupportErrorInfo = __uuidof(ISupportErrorInfo);
const IID IID_IRunnableObject = __uuidof(IRunnableObject);
}

namespace kvwin {

std::u16string GuidToText(const GUID& g) {
    static const char kHex[] = "0123456789ABCDEF";
    std::u16string out;
    out.reserve(38);
    auto put = [&](uint64_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i)
            out.push_back(char16_t(kHex[(v >> (4 * i)) & 0xF]));
    };
    out.push_back(u'{');
    put(g.Data1, 8);
    out.push_back(u'-');
    put(g.Data2, 4);
    out.push_back(u'-');
    put(g.Data3, 4);
    out.push_back(u'-');
    put(g.Data4[0], 2);
    put(g.Data4[1], 2);
    out.push_back(u'-');
    for (int i = 2; i < 8; ++i)
        put(g.Data4[i], 2);
    out.push_back(u'}');
    return out;
}

bool GuidFromText(std::u16string_view text, GUID& g) {
    if (text.size() != 38 || text[0] != u'{' || text[37] != u'}')
        return false;
    std::u16string_view s = text.substr(1, 36);
    if (s[8] != u'-' || s[13] != u'-' || s[18] != u'-' || s[23] != u'-')
        return false;
    auto field = [&](size_t from, size_t count, uint64_t& v) {
        v = 0;
        for (size_t i = 0; i < count; ++i) {
            const int d = kvwin::HexDigitValue(s[from + i]);
            if (d < 0)
                return false;
            v = (v << 4) | uint64_t(d);
        }
        return true;
    };
    uint64_t v;
    GUID r{};
    if (!field(0, 8, v))
        return false;
    r.Data1 = uint32_t(v);
    if (!field(9, 4, v))
        return false;
    r.Data2 = uint16_t(v);
    if (!field(14, 4, v))
        return false;
    r.Data3 = uint16_t(v);
    static const size_t kBytes[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (int i = 0; i < 8; ++i) {
        if (!field(kBytes[i], 2, v))
            return false;
        r.Data4[i] = uint8_t(v);
    }
    g = r;
    return true;
}

}  // namespace kvwin

namespace {

HRESULT GuidToTaskText(REFGUID g, LPOLESTR* out) {
    if (!out)
        return E_INVALIDARG;
    *out = nullptr;
    std::u16string text = kvwin::GuidToText(g);
    auto* mem = static_cast<OLECHAR*>(CoTaskMemAlloc((text.size() + 1) * sizeof(OLECHAR)));
    if (!mem)
        return E_OUTOFMEMORY;
    std::memcpy(mem, text.c_str(), (text.size() + 1) * sizeof(OLECHAR));
    *out = mem;
    return S_OK;
}

}  // namespace

extern "C" {

HRESULT CoCreateGuid(GUID* pguid) {
    if (!pguid)
        return E_INVALIDARG;
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return HRESULT_FROM_WIN32(kvwin::Win32ErrorFromErrno(errno));
        }
        got += size_t(n);
    }
    bytes[6] = (bytes[6] & 0x0F) | 0x40;  // version 4
    bytes[8] = (bytes[8] & 0x3F) | 0x80;  // RFC 4122 variant
    std::memcpy(&pguid->Data1, bytes, 4);
    std::memcpy(&pguid->Data2, bytes + 4, 2);
    pguid->Data3 = uint16_t(bytes[6] << 8 | bytes[7]);
    std::memcpy(pguid->Data4, bytes + 8, 8);
    return S_OK;
}

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
    if (!lpsz || cchMax < 39)
        return 0;
    std::u16string text = kvwin::GuidToText(rguid);
    std::memcpy(lpsz, text.c_str(), 39 * sizeof(OLECHAR));
    return 39;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
    return GuidToTaskText(rclsid, lplpsz);
}
HRESULT StringFromIID(REFIID riid, LPOLESTR* lplpsz) {
    return GuidToTaskText(riid, lplpsz);
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid) {
    if (!lpiid)
        return E_INVALIDARG;
    if (!lpsz) {
        *lpiid = GUID_NULL;
        return S_OK;
    }
    return kvwin::GuidFromText(kvwin::WideView(lpsz), *lpiid) ? S_OK : E_INVALIDARG;
}

LPVOID CoTaskMemAlloc(SIZE_T cb) {
    return std::malloc(cb ? cb : 1);
}

LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
    if (cb == 0) {
        std::free(pv);
        return nullptr;
    }
    return std::realloc(pv, cb);
}

void CoTaskMemFree(LPVOID pv) {
    std::free(pv);
}

}  // extern "C"
