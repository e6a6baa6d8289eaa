// The WMI client interfaces: the locator, a connected namespace, class objects, sinks and
// enumerators, with the Windows method order and identities, so code written against the
// Windows declarations compiles unchanged. The WMI service component (kavrel-wmi) serves
// them; docs/components/wmi.md says what it implements.
#pragma once

#include "win/com.h"
#include "win/oleauto.h"

// ---- CIM types ----------------------------------------------------------------------------
typedef long CIMTYPE;
enum tag_CIMTYPE_ENUMERATION {
    CIM_ILLEGAL = 0xfff,
    CIM_EMPTY = 0,
    CIM_SINT8 = 16,
    CIM_UINT8 = 17,
    CIM_SINT16 = 2,
    CIM_UINT16 = 18,
    CIM_SINT32 = 3,
    CIM_UINT32 = 19,
    CIM_SINT64 = 20,
    CIM_UINT64 = 21,
    CIM_REAL32 = 4,
    CIM_REAL64 = 5,
    CIM_BOOLEAN = 11,
    CIM_STRING = 8,
    CIM_DATETIME = 101,
    CIM_REFERENCE = 102,
    CIM_CHAR16 = 103,
    CIM_OBJECT = 13,
    CIM_FLAG_ARRAY = 0x2000
};

// ---- flags ------------------------------------------------------------------------------------
enum tag_WBEM_GENERIC_FLAG_TYPE {
    WBEM_FLAG_RETURN_IMMEDIATELY = 0x10,
    WBEM_FLAG_RETURN_WBEM_COMPLETE = 0,
    WBEM_FLAG_BIDIRECTIONAL = 0,
    WBEM_FLAG_FORWARD_ONLY = 0x20,
    WBEM_FLAG_NO_ERROR_OBJECT = 0x40,
    WBEM_FLAG_RETURN_ERROR_OBJECT = 0,
    WBEM_FLAG_SEND_STATUS = 0x80,
    WBEM_FLAG_DONT_SEND_STATUS = 0,
    WBEM_FLAG_ENSURE_LOCATABLE = 0x100,
    WBEM_FLAG_DIRECT_READ = 0x200,
    WBEM_FLAG_SEND_ONLY_SELECTED = 0,
    WBEM_RETURN_WHEN_COMPLETE = 0,
    WBEM_RETURN_IMMEDIATELY = 0x10,
    WBEM_MASK_RESERVED_FLAGS = 0x1f000,
    WBEM_FLAG_USE_AMENDED_QUALIFIERS = 0x20000,
    WBEM_FLAG_STRONG_VALIDATION = 0x100000
};

enum tag_WBEM_CONDITION_FLAG_TYPE {
    WBEM_FLAG_ALWAYS = 0,
    WBEM_FLAG_ONLY_IF_TRUE = 0x1,
    WBEM_FLAG_ONLY_IF_FALSE = 0x2,
    WBEM_FLAG_ONLY_IF_IDENTICAL = 0x3,
    WBEM_MASK_PRIMARY_CONDITION = 0x3,
    WBEM_FLAG_KEYS_ONLY = 0x4,
    WBEM_FLAG_REFS_ONLY = 0x8,
    WBEM_FLAG_LOCAL_ONLY = 0x10,
    WBEM_FLAG_PROPAGATED_ONLY = 0x20,
    WBEM_FLAG_SYSTEM_ONLY = 0x30,
    WBEM_FLAG_NONSYSTEM_ONLY = 0x40,
    WBEM_MASK_CONDITION_ORIGIN = 0x70
};

enum tag_WBEM_STATUS_TYPE {
    WBEM_STATUS_COMPLETE = 0,
    WBEM_STATUS_REQUIREMENTS = 1,
    WBEM_STATUS_PROGRESS = 2
};

enum tag_WBEM_TIMEOUT_TYPE { WBEM_NO_WAIT = 0, WBEM_INFINITE = (long)0xffffffff };

enum tag_WBEM_CONNECT_OPTIONS { WBEM_FLAG_CONNECT_REPOSITORY_ONLY = 0x40, WBEM_FLAG_CONNECT_USE_MAX_WAIT = 0x80 };

// Where a property's value comes from (the plFlavor out-argument of Get and Next).
enum tag_WBEM_FLAVOR_TYPE {
    WBEM_FLAVOR_ORIGIN_LOCAL = 0,
    WBEM_FLAVOR_ORIGIN_PROPAGATED = 0x20,
    WBEM_FLAVOR_ORIGIN_SYSTEM = 0x40
};

// ---- status codes ---------------------------------------------------------------------------
#define WBEM_S_NO_ERROR ((HRESULT)0)
#define WBEM_S_FALSE ((HRESULT)1)
#define WBEM_S_ALREADY_EXISTS ((HRESULT)0x40001)
#define WBEM_S_TIMEDOUT ((HRESULT)0x40004)
#define WBEM_S_NO_MORE_DATA ((HRESULT)0x40005)
#define WBEM_S_OPERATION_CANCELLED ((HRESULT)0x40006)
#define WBEM_E_FAILED ((HRESULT)0x80041001)
#define WBEM_E_NOT_FOUND ((HRESULT)0x80041002)
#define WBEM_E_ACCESS_DENIED ((HRESULT)0x80041003)
#define WBEM_E_PROVIDER_FAILURE ((HRESULT)0x80041004)
#define WBEM_E_TYPE_MISMATCH ((HRESULT)0x80041005)
#define WBEM_E_OUT_OF_MEMORY ((HRESULT)0x80041006)
#define WBEM_E_INVALID_CONTEXT ((HRESULT)0x80041007)
#define WBEM_E_INVALID_PARAMETER ((HRESULT)0x80041008)
#define WBEM_E_NOT_AVAILABLE ((HRESULT)0x80041009)
#define WBEM_E_CRITICAL_ERROR ((HRESULT)0x8004100A)
#define WBEM_E_NOT_SUPPORTED ((HRESULT)0x8004100C)
#define WBEM_E_INVALID_NAMESPACE ((HRESULT)0x8004100E)
#define WBEM_E_INVALID_OBJECT ((HRESULT)0x8004100F)
#define WBEM_E_INVALID_CLASS ((HRESULT)0x80041010)
#define WBEM_E_PROVIDER_NOT_FOUND ((HRESULT)0x80041011)
#define WBEM_E_TRANSPORT_FAILURE ((HRESULT)0x80041015)
#define WBEM_E_INVALID_OPERATION ((HRESULT)0x80041016)
#define WBEM_E_INVALID_QUERY ((HRESULT)0x80041017)
#define WBEM_E_INVALID_QUERY_TYPE ((HRESULT)0x80041018)
#define WBEM_E_UNEXPECTED ((HRESULT)0x8004101D)
#define WBEM_E_INVALID_SYNTAX ((HRESULT)0x80041021)
#define WBEM_E_INVALID_OBJECT_PATH ((HRESULT)0x8004103A)
#define WBEM_E_CALL_CANCELLED ((HRESULT)0x80041032)
#define WBEM_E_SHUTTING_DOWN ((HRESULT)0x80041033)
#define WBEM_E_LOCAL_CREDENTIALS ((HRESULT)0x80041064)
#define WBEM_E_TIMED_OUT ((HRESULT)0x80043001)

struct IWbemQualifierSet;
struct IWbemContext;
struct IWbemServices;
struct IWbemCallResult;

// ---- IWbemClassObject -----------------------------------------------------------------------
// A class or an instance. Get answers WBEM_E_NOT_FOUND for a property the class lacks; a
// property without a value reads as VT_NULL with its declared CIM type.
struct IWbemClassObject : IUnknown {
    STDMETHOD(GetQualifierSet)(IWbemQualifierSet** ppQualSet) = 0;
    STDMETHOD(Get)(LPCWSTR wszName, long lFlags, VARIANT* pVal, CIMTYPE* pType, long* plFlavor) = 0;
    STDMETHOD(Put)(LPCWSTR wszName, long lFlags, VARIANT* pVal, CIMTYPE Type) = 0;
    STDMETHOD(Delete)(LPCWSTR wszName) = 0;
    STDMETHOD(GetNames)
    (LPCWSTR wszQualifierName, long lFlags, VARIANT* pQualifierVal, SAFEARRAY** pNames) = 0;
    STDMETHOD(BeginEnumeration)(long lEnumFlags) = 0;
    STDMETHOD(Next)(long lFlags, BSTR* strName, VARIANT* pVal, CIMTYPE* pType, long* plFlavor) = 0;
    STDMETHOD(EndEnumeration)() = 0;
    STDMETHOD(GetPropertyQualifierSet)(LPCWSTR wszProperty, IWbemQualifierSet** ppQualSet) = 0;
    STDMETHOD(Clone)(IWbemClassObject** ppCopy) = 0;
    STDMETHOD(GetObjectText)(long lFlags, BSTR* pstrObjectText) = 0;
    STDMETHOD(SpawnDerivedClass)(long lFlags, IWbemClassObject** ppNewClass) = 0;
    STDMETHOD(SpawnInstance)(long lFlags, IWbemClassObject** ppNewInstance) = 0;
    STDMETHOD(CompareTo)(long lFlags, IWbemClassObject* pCompareTo) = 0;
    STDMETHOD(GetPropertyOrigin)(LPCWSTR wszName, BSTR* pstrClassName) = 0;
    STDMETHOD(InheritsFrom)(LPCWSTR strAncestor) = 0;
    STDMETHOD(GetMethod)
    (LPCWSTR wszName, long lFlags, IWbemClassObject** ppInSignature,
     IWbemClassObject** ppOutSignature) = 0;
    STDMETHOD(PutMethod)
    (LPCWSTR wszName, long lFlags, IWbemClassObject* pInSignature,
     IWbemClassObject* pOutSignature) = 0;
    STDMETHOD(DeleteMethod)(LPCWSTR wszName) = 0;
    STDMETHOD(BeginMethodEnumeration)(long lEnumFlags) = 0;
    STDMETHOD(NextMethod)
    (long lFlags, BSTR* pstrName, IWbemClassObject** ppInSignature,
     IWbemClassObject** ppOutSignature) = 0;
    STDMETHOD(EndMethodEnumeration)() = 0;
    STDMETHOD(GetMethodQualifierSet)(LPCWSTR wszMethod, IWbemQualifierSet** ppQualSet) = 0;
    STDMETHOD(GetMethodOrigin)(LPCWSTR wszMethodName, BSTR* pstrClassName) = 0;
};
KV_DECLARE_UUID(IWbemClassObject, "DC12A681-737F-11CF-884D-00AA004B2E24");

// ---- IWbemObjectSink --------------------------------------------------------------------------
// Implemented by the caller of an asynchronous operation: Indicate any number of times with
// batches of objects, then SetStatus(WBEM_STATUS_COMPLETE, result, ...) once, then the
// service releases the sink.
struct IWbemObjectSink : IUnknown {
    STDMETHOD(Indicate)(long lObjectCount, IWbemClassObject** apObjArray) = 0;
    STDMETHOD(SetStatus)
    (long lFlags, HRESULT hResult, BSTR strParam, IWbemClassObject* pObjParam) = 0;
};
KV_DECLARE_UUID(IWbemObjectSink, "7C857801-7381-11CF-884D-00AA004B2E24");

// ---- IEnumWbemClassObject ---------------------------------------------------------------------
struct IEnumWbemClassObject : IUnknown {
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Next)
    (long lTimeout, ULONG uCount, IWbemClassObject** apObjects, ULONG* puReturned) = 0;
    STDMETHOD(NextAsync)(ULONG uCount, IWbemObjectSink* pSink) = 0;
    STDMETHOD(Clone)(IEnumWbemClassObject** ppEnum) = 0;
    STDMETHOD(Skip)(long lTimeout, ULONG nCount) = 0;
};
KV_DECLARE_UUID(IEnumWbemClassObject, "027947E1-D731-11CE-A357-000000000001");

// ---- IWbemCallResult --------------------------------------------------------------------------
struct IWbemCallResult : IUnknown {
    STDMETHOD(GetResultObject)(long lTimeout, IWbemClassObject** ppResultObject) = 0;
    STDMETHOD(GetResultString)(long lTimeout, BSTR* pstrResultString) = 0;
    STDMETHOD(GetResultServices)(long lTimeout, IWbemServices** ppServices) = 0;
    STDMETHOD(GetCallStatus)(long lTimeout, long* plStatus) = 0;
};
KV_DECLARE_UUID(IWbemCallResult, "44ACA675-E8FC-11D0-A07C-00C04FB68820");

// ---- IWbemServices ----------------------------------------------------------------------------
struct IWbemServices : IUnknown {
    STDMETHOD(OpenNamespace)
    (const BSTR strNamespace, long lFlags, IWbemContext* pCtx, IWbemServices** ppWorkingNamespace,
     IWbemCallResult** ppResult) = 0;
    STDMETHOD(CancelAsyncCall)(IWbemObjectSink* pSink) = 0;
    STDMETHOD(QueryObjectSink)(long lFlags, IWbemObjectSink** ppResponseHandler) = 0;
    STDMETHOD(GetObject)
    (const BSTR strObjectPath, long lFlags, IWbemContext* pCtx, IWbemClassObject** ppObject,
     IWbemCallResult** ppCallResult) = 0;
    STDMETHOD(GetObjectAsync)
    (const BSTR strObjectPath, long lFlags, IWbemContext* pCtx, IWbemObjectSink* pResponseHandler) = 0;
    STDMETHOD(PutClass)
    (IWbemClassObject* pObject, long lFlags, IWbemContext* pCtx, IWbemCallResult** ppCallResult) = 0;
    STDMETHOD(PutClassAsync)
    (IWbemClassObject* pObject, long lFlags, IWbemContext* pCtx, IWbemObjectSink* pResponseHandler) = 0;
    STDMETHOD(DeleteClass)
    (const BSTR strClass, long lFlags, IWbemContext* pCtx, IWbemCallResult** ppCallResult) = 0;
    STDMETHOD(DeleteClassAsync)
    (const BSTR strClass, long lFlags, IWbemContext* pCtx, IWbemObjectSink* pResponseHandler) = 0;
    STDMETHOD(CreateClassEnum)
    (const BSTR strSuperclass, long lFlags, IWbemContext* pCtx, IEnumWbemClassObject** ppEnum) = 0;
    STDMETHOD(CreateClassEnumAsync)
    (const BSTR strSuperclass, long lFlags, IWbemContext* pCtx, IWbemObjectSink* pResponseHandler) = 0;
    STDMETHOD(PutInstance)
    (IWbemClassObject* pInst, long lFlags, IWbemContext* pCtx, IWbemCallResult** ppCallResult) = 0;
    STDMETHOD(PutInstanceAsync)
    (IWbemClassObject* pInst, long lFlags, IWbemContext* pCtx, IWbemObjectSink* pResponseHandler) = 0;
    STDMETHOD(DeleteInstance)
    (const BSTR strObjectPath, long lFlags, IWbemContext* pCtx, IWbemCallResult** ppCallResult) = 0;
    STDMETHOD(DeleteInstanceAsync)
    (const BSTR strObjectPath, long lFlags, IWbemContext* pCtx, IWbemObjectSink* pResponseHandler) = 0;
    STDMETHOD(CreateInstanceEnum)
    (const BSTR strFilter, long lFlags, IWbemContext* pCtx, IEnumWbemClassObject** ppEnum) = 0;
    STDMETHOD(CreateInstanceEnumAsync)
    (const BSTR strFilter, long lFlags, IWbemContext* pCtx, IWbemObjectSink* pResponseHandler) = 0;
    STDMETHOD(ExecQuery)
    (const BSTR strQueryLanguage, const BSTR strQuery, long lFlags, IWbemContext* pCtx,
     IEnumWbemClassObject** ppEnum) = 0;
    STDMETHOD(ExecQueryAsync)
    (const BSTR strQueryLanguage, const BSTR strQuery, long lFlags, IWbemContext* pCtx,
     IWbemObjectSink* pResponseHandler) = 0;
    STDMETHOD(ExecNotificationQuery)
    (const BSTR strQueryLanguage, const BSTR strQuery, long lFlags, IWbemContext* pCtx,
     IEnumWbemClassObject** ppEnum) = 0;
    STDMETHOD(ExecNotificationQueryAsync)
    (const BSTR strQueryLanguage, const BSTR strQuery, long lFlags, IWbemContext* pCtx,
     IWbemObjectSink* pResponseHandler) = 0;
    STDMETHOD(ExecMethod)
    (const BSTR strObjectPath, const BSTR strMethodName, long lFlags, IWbemContext* pCtx,
     IWbemClassObject* pInParams, IWbemClassObject** ppOutParams,
     IWbemCallResult** ppCallResult) = 0;
    STDMETHOD(ExecMethodAsync)
    (const BSTR strObjectPath, const BSTR strMethodName, long lFlags, IWbemContext* pCtx,
     IWbemClassObject* pInParams, IWbemObjectSink* pResponseHandler) = 0;
};
KV_DECLARE_UUID(IWbemServices, "9556DC99-828C-11CF-A37E-00AA003240C7");

// ---- IWbemLocator -----------------------------------------------------------------------------
struct IWbemLocator : IUnknown {
    STDMETHOD(ConnectServer)
    (const BSTR strNetworkResource, const BSTR strUser, const BSTR strPassword,
     const BSTR strLocale, long lSecurityFlags, const BSTR strAuthority, IWbemContext* pCtx,
     IWbemServices** ppNamespace) = 0;
};
KV_DECLARE_UUID(IWbemLocator, "DC12A687-737F-11CF-884D-00AA004B2E24");

// The locator class ("WbemScripting.SWbemLocator" is the scripting face's, not this one),
// served by the WMI service component.
inline constexpr CLSID CLSID_WbemLocator =
    kvwin::GuidFromLiteral("4590F811-1D3A-11D0-891F-00AA004B2E24");

inline constexpr IID IID_IWbemLocator = __uuidof(IWbemLocator);
inline constexpr IID IID_IWbemServices = __uuidof(IWbemServices);
inline constexpr IID IID_IWbemClassObject = __uuidof(IWbemClassObject);
inline constexpr IID IID_IWbemObjectSink = __uuidof(IWbemObjectSink);
inline constexpr IID IID_IEnumWbemClassObject = __uuidof(IEnumWbemClassObject);
