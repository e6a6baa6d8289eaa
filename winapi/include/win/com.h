// The COM runtime: IUnknown and the standard interfaces, apartments, activation, GUIDs and
// task memory.
//
// Objects live in this process only; there is no marshalling. Apartments are tracked per
// thread so that CoInitializeEx gives the answers callers check for, and activation finds
// in-process servers through HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32 or the layer's
// built-in registrations.
//
// Interface identities: declare an interface with KV_DECLARE_UUID(IFoo, "xxxxxxxx-...")
// after its definition; __uuidof(IFoo), __uuidof(pFoo), __uuidof(*pFoo) and
// __uuidof(fooPtr) (a smart pointer) then give its IID.
#pragma once

#include <type_traits>

#include "win/errors.h"
#include "win/oleauto.h"
#include "win/types.h"

// ---- interface identities ---------------------------------------------------------------
namespace kvwin {

constexpr uint32_t HexDigitValue(char c) {
    return (c >= '0' && c <= '9')   ? uint32_t(c - '0')
           : (c >= 'a' && c <= 'f') ? uint32_t(c - 'a' + 10)
           : (c >= 'A' && c <= 'F') ? uint32_t(c - 'A' + 10)
                                    : throw "not a hexadecimal digit";
}

constexpr uint32_t HexField(const char* s, int from, int count) {
    uint32_t v = 0;
    for (int i = 0; i < count; ++i)
        v = (v << 4) | HexDigitValue(s[from + i]);
    return v;
}

// Parses "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" (no braces) at compile time.
template <size_t N>
constexpr GUID GuidFromLiteral(const char (&s)[N]) {
    static_assert(N == 37, "a GUID literal is written xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx");
    if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
        throw "misplaced dash";
    return GUID{
        HexField(s, 0, 8),
        uint16_t(HexField(s, 9, 4)),
        uint16_t(HexField(s, 14, 4)),
        {uint8_t(HexField(s, 19, 2)), uint8_t(HexField(s, 21, 2)), uint8_t(HexField(s, 24, 2)),
         uint8_t(HexField(s, 26, 2)), uint8_t(HexField(s, 28, 2)), uint8_t(HexField(s, 30, 2)),
         uint8_t(HexField(s, 32, 2)), uint8_t(HexField(s, 34, 2))}};
}

// Specialised by KV_DECLARE_UUID for every interface (and class) that has an identity.
template <class T>
struct UuidTraits;

template <class T, class = void>
struct UuidTarget {
    using type = T;
};
// Smart pointers name the interface they hold as their nested Interface type.
template <class T>
struct UuidTarget<T, std::void_t<typename T::Interface>> {
    using type = typename T::Interface;
};

template <class T>
using UuidSubject =
    typename UuidTarget<std::remove_cv_t<std::remove_pointer_t<std::remove_cvref_t<T>>>>::type;

}  // namespace kvwin

#define KV_DECLARE_UUID(Type, text)                                   \
    template <>                                                       \
    struct kvwin::UuidTraits<Type> {                                  \
        static constexpr GUID value = ::kvwin::GuidFromLiteral(text); \
    }

// Works for a type and for an expression (an interface pointer, an object, a smart pointer).
#define __uuidof(x) (::kvwin::UuidTraits<::kvwin::UuidSubject<__typeof__(x)>>::value)

// ---- the standard interfaces --------------------------------------------------------------
struct ITypeInfo;
struct IBindCtx;
typedef IBindCtx* LPBINDCTX;

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

    template <class Q>
    HRESULT STDMETHODCALLTYPE QueryInterface(Q** pp) {
        return QueryInterface(__uuidof(Q), reinterpret_cast<void**>(pp));
    }
};
KV_DECLARE_UUID(IUnknown, "00000000-0000-0000-C000-000000000046");
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                     void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};
KV_DECLARE_UUID(IClassFactory, "00000001-0000-0000-C000-000000000046");
typedef IClassFactory* LPCLASSFACTORY;

struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                    LCID lcid, DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid,
                                             WORD wFlags, DISPPARAMS* pDispParams,
                                             VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;
};
KV_DECLARE_UUID(IDispatch, "00020400-0000-0000-C000-000000000046");
typedef IDispatch* LPDISPATCH;

// Walks a collection; what a collection's DISPID_NEWENUM member returns (as an IUnknown).
// Next copies up to celt elements into rgVar (S_FALSE when fewer were left).
struct IEnumVARIANT : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) = 0;
};
KV_DECLARE_UUID(IEnumVARIANT, "00020404-0000-0000-C000-000000000046");
inline constexpr IID IID_IEnumVARIANT = __uuidof(IEnumVARIANT);

struct IErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;
};
KV_DECLARE_UUID(IErrorInfo, "1CF2B120-547D-101B-8E65-08002B2BD119");

struct ICreateErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) = 0;
};
KV_DECLARE_UUID(ICreateErrorInfo, "22F03340-547D-101B-8E65-08002B2BD119");

struct ISupportErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) = 0;
};
KV_DECLARE_UUID(ISupportErrorInfo, "DF0B3D60-548F-101B-8E65-08002B2BD119");

struct IRunnableObject : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetRunningClass(LPCLSID lpClsid) = 0;
    virtual HRESULT STDMETHODCALLTYPE Run(LPBINDCTX pbc) = 0;
    virtual BOOL STDMETHODCALLTYPE IsRunning() = 0;
    virtual HRESULT STDMETHODCALLTYPE LockRunning(BOOL fLock, BOOL fLastUnlockCloses) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetContainedObject(BOOL fContained) = 0;
};
KV_DECLARE_UUID(IRunnableObject, "00000126-0000-0000-C000-000000000046");

#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define IID_PPV_ARGS(pp) __uuidof(**(pp)), reinterpret_cast<void**>(pp)

// ---- constants ----------------------------------------------------------------------------
typedef enum tagCOINIT {
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_MULTITHREADED = 0x0,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_INPROC_SERVER16 = 0x8,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_INPROC_HANDLER16 = 0x20,
    CLSCTX_NO_CODE_DOWNLOAD = 0x400,
    CLSCTX_NO_CUSTOM_MARSHAL = 0x1000,
    CLSCTX_ENABLE_CODE_DOWNLOAD = 0x2000,
    CLSCTX_NO_FAILURE_LOG = 0x4000,
    CLSCTX_DISABLE_AAA = 0x8000,
    CLSCTX_ENABLE_AAA = 0x10000,
    CLSCTX_FROM_DEFAULT_CONTEXT = 0x20000,
    CLSCTX_ACTIVATE_32_BIT_SERVER = 0x40000,
    CLSCTX_ACTIVATE_64_BIT_SERVER = 0x80000,
} CLSCTX;
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_SERVER (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_ALL \
    (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// The signatures an in-process server exports.
typedef HRESULT(STDMETHODCALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDMETHODCALLTYPE* LPFNCANUNLOADNOW)(void);

extern "C" {

extern KVWIN_API const IID IID_IUnknown;
extern KVWIN_API const IID IID_IClassFactory;
extern KVWIN_API const IID IID_IDispatch;
extern KVWIN_API const IID IID_IErrorInfo;
extern KVWIN_API const IID IID_ICreateErrorInfo;
extern KVWIN_API const IID IID_ISupportErrorInfo;
extern KVWIN_API const IID IID_IRunnableObject;

// ---- apartments ---------------------------------------------------------------------------
// Enters the calling thread into an apartment. S_OK the first time, S_FALSE when the thread
// is already in an apartment of the same model (each success must be balanced by one
// CoUninitialize), RPC_E_CHANGED_MODE for the other model (not counted), E_INVALIDARG for
// unknown flags or a non-null reserved pointer.
KVWIN_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED).
KVWIN_API HRESULT CoInitialize(LPVOID pvReserved);
// Leaves the apartment once; the last call also frees the thread's error object. A call on
// a thread that is not in an apartment does nothing.
KVWIN_API void CoUninitialize(void);

// ---- activation ---------------------------------------------------------------------------
// Creates an object of a class. Only in-process servers exist here: a request without
// CLSCTX_INPROC_SERVER (or CLSCTX_INPROC_HANDLER) gives REGDB_E_CLASSNOTREG. Needs an
// apartment (CO_E_NOTINITIALIZED otherwise). Aggregation (pUnkOuter) is passed on to the
// class factory, which answers CLASS_E_NOAGGREGATION when it does not support it.
KVWIN_API HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                   REFIID riid, LPVOID* ppv);
// The class object (usually an IClassFactory) of a class; pvReserved (server info) must be
// null for an in-process request.
KVWIN_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved,
                                   REFIID riid, LPVOID* ppv);
// Unloads the loaded server modules whose DllCanUnloadNow answers S_OK.
KVWIN_API void CoFreeUnusedLibraries(void);
KVWIN_API void CoFreeUnusedLibrariesEx(DWORD dwUnloadDelay, DWORD dwReserved);
// Puts an object in the running state: calls IRunnableObject::Run when the object has it;
// any other object is taken as running already (S_OK).
KVWIN_API HRESULT OleRun(LPUNKNOWN pUnknown);

// ---- call security ------------------------------------------------------------------------
// Authentication services, levels and impersonation levels a client names for a proxy.
#define RPC_C_AUTHN_NONE 0
#define RPC_C_AUTHN_WINNT 10
#define RPC_C_AUTHN_DEFAULT 0xFFFFFFFFL
#define RPC_C_AUTHZ_NONE 0
#define RPC_C_AUTHZ_DEFAULT 0xFFFFFFFFL
#define RPC_C_AUTHN_LEVEL_DEFAULT 0
#define RPC_C_AUTHN_LEVEL_NONE 1
#define RPC_C_AUTHN_LEVEL_CONNECT 2
#define RPC_C_AUTHN_LEVEL_CALL 3
#define RPC_C_AUTHN_LEVEL_PKT 4
#define RPC_C_AUTHN_LEVEL_PKT_INTEGRITY 5
#define RPC_C_AUTHN_LEVEL_PKT_PRIVACY 6
#define RPC_C_IMP_LEVEL_DEFAULT 0
#define RPC_C_IMP_LEVEL_ANONYMOUS 1
#define RPC_C_IMP_LEVEL_IDENTIFY 2
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
#define RPC_C_IMP_LEVEL_DELEGATE 4
#define COLE_DEFAULT_PRINCIPAL ((OLECHAR*)(INT_PTR)-1)
#define COLE_DEFAULT_AUTHINFO ((void*)(INT_PTR)-1)
typedef enum tagEOLE_AUTHENTICATION_CAPABILITIES {
    EOAC_NONE = 0,
    EOAC_MUTUAL_AUTH = 0x1,
    EOAC_STATIC_CLOAKING = 0x20,
    EOAC_DYNAMIC_CLOAKING = 0x40,
    EOAC_DEFAULT = 0x800
} EOLE_AUTHENTICATION_CAPABILITIES;
typedef void* RPC_AUTH_IDENTITY_HANDLE;

// Sets the security a proxy uses for its calls. Every object lives in this process and
// needs no proxy, so any object is accepted as it is (S_OK) and the settings have no
// effect. A null object is E_INVALIDARG (on Windows the call would fail on it too).
KVWIN_API HRESULT CoSetProxyBlanket(IUnknown* pProxy, DWORD dwAuthnSvc, DWORD dwAuthzSvc,
                                    OLECHAR* pServerPrincName, DWORD dwAuthnLevel,
                                    DWORD dwImpLevel, RPC_AUTH_IDENTITY_HANDLE pAuthInfo,
                                    DWORD dwCapabilities);

// ---- GUIDs and class names ----------------------------------------------------------------
// A random (version 4) GUID.
KVWIN_API HRESULT CoCreateGuid(GUID* pguid);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case; returns the characters written
// including the terminating NUL (39), or 0 when cchMax is too small.
KVWIN_API int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// As StringFromGUID2 into task memory the caller frees with CoTaskMemFree.
KVWIN_API HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
KVWIN_API HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
// A braced GUID, or a ProgID. CO_E_CLASSSTRING for malformed GUID text, REGDB_E_WRITEREGDB
// for a ProgID that names no class (as Windows answers).
KVWIN_API HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
// A braced GUID only; E_INVALIDARG for anything else.
KVWIN_API HRESULT IIDFromString(LPCOLESTR lpsz, LPIID lpiid);
// HKCR\<ProgID>\CLSID, following CurVer, then the built-in registrations. CO_E_CLASSSTRING
// for an unknown ProgID.
KVWIN_API HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// HKCR\CLSID\{clsid}\ProgID, then the built-ins, into task memory. REGDB_E_CLASSNOTREG
// when the class has none.
KVWIN_API HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);

// ---- task memory --------------------------------------------------------------------------
// The allocator COM hands memory out with. Thread safe; CoTaskMemFree(nullptr) is a no-op.
KVWIN_API LPVOID CoTaskMemAlloc(SIZE_T cb);
KVWIN_API LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
KVWIN_API void CoTaskMemFree(LPVOID pv);

}  // extern "C"
