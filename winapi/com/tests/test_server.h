// The interfaces and class of the in-process server module the COM tests build
// (KvComTestServer) and register through the registry.
#pragma once

#include "win/com.h"

// A counter that can also fail, leaving an error object for the calling thread.
struct ITestCounter : IUnknown {
    // Adds one and returns the new count.
    STDMETHOD(Increment)(LONG* value) = 0;
    // Sets the thread's error object (description, source "KvTest.Counter", the GUID of
    // ITestCounter) and returns kTestFailure. The object reports errors this way for
    // ITestCounter (ISupportErrorInfo).
    STDMETHOD(Fail)(LPCOLESTR description) = 0;
};
KV_DECLARE_UUID(ITestCounter, "6F0C2E51-3B7A-4C1D-9E2F-1A2B3C4D5E01");

// A second interface of the same object; it does not report errors through error objects,
// although Fail leaves one behind.
struct ITestNamed : IUnknown {
    STDMETHOD(Fail)(LPCOLESTR description) = 0;
};
KV_DECLARE_UUID(ITestNamed, "6F0C2E51-3B7A-4C1D-9E2F-1A2B3C4D5E02");

inline constexpr CLSID kClsidTestCounter =
    kvwin::GuidFromLiteral("6F0C2E51-3B7A-4C1D-9E2F-1A2B3C4D5E10");
// wCode 1 in FACILITY_ITF.
inline constexpr HRESULT kTestFailure = HRESULT(0x80040201L);
