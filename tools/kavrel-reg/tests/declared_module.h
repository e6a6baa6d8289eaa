// The class of the small module the registration tests build (KvDeclaredTestModule): one
// class, declared in the module's table like every component's.
#pragma once

#include "kvwin/com_guid_text.h"
#include "win/com.h"

struct IDeclaredProbe : IUnknown {
    // 42, always.
    STDMETHOD(Answer)(LONG* value) = 0;
};
KV_DECLARE_UUID(IDeclaredProbe, "0B7E3C52-5D41-4F6A-8E21-7C9D3A4B5E01");

inline constexpr CLSID kClsidDeclaredProbe =
    kvwin::GuidFromLiteral("0B7E3C52-5D41-4F6A-8E21-7C9D3A4B5E10");
