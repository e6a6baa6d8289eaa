// IDispatchEx: late binding for objects whose members come and go (script objects). A
// caller finds a member with GetDispID (with or without regard to case, creating it with
// fdexNameEnsure), calls it with InvokeEx, and can walk the members with GetNextDispID from
// DISPID_STARTENUM until it answers S_FALSE.
#pragma once

#include "win/com.h"

struct IServiceProvider;

// GetDispID and DeleteMemberByName.
#define fdexNameCaseSensitive 0x00000001L
#define fdexNameEnsure 0x00000002L
#define fdexNameImplicit 0x00000004L
#define fdexNameCaseInsensitive 0x00000008L
#define fdexNameInternal 0x00000010L
#define fdexNameNoDynamicProperties 0x00000020L

// GetMemberProperties.
#define fdexPropCanGet 0x00000001L
#define fdexPropCannotGet 0x00000002L
#define fdexPropCanPut 0x00000004L
#define fdexPropCannotPut 0x00000008L
#define fdexPropCanPutRef 0x00000010L
#define fdexPropCannotPutRef 0x00000020L
#define fdexPropNoSideEffects 0x00000040L
#define fdexPropDynamicType 0x00000080L
#define fdexPropCanCall 0x00000100L
#define fdexPropCannotCall 0x00000200L
#define fdexPropCanConstruct 0x00000400L
#define fdexPropCannotConstruct 0x00000800L
#define fdexPropCanSourceEvents 0x00001000L
#define fdexPropCannotSourceEvents 0x00002000L
#define grfdexPropCanAll                                                     \
    (fdexPropCanGet | fdexPropCanPut | fdexPropCanPutRef | fdexPropCanCall | \
     fdexPropCanConstruct | fdexPropCanSourceEvents)
#define grfdexPropCannotAll                                                              \
    (fdexPropCannotGet | fdexPropCannotPut | fdexPropCannotPutRef | fdexPropCannotCall | \
     fdexPropCannotConstruct | fdexPropCannotSourceEvents)
#define grfdexPropExtraAll (fdexPropNoSideEffects | fdexPropDynamicType)
#define grfdexPropAll (grfdexPropCanAll | grfdexPropCannotAll | grfdexPropExtraAll)

// GetNextDispID.
#define fdexEnumDefault 0x00000001L
#define fdexEnumAll 0x00000002L

#define DISPATCH_CONSTRUCT 0x4000
#define DISPID_THIS (-613)
#define DISPID_STARTENUM DISPID_UNKNOWN

struct IDispatchEx : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE GetDispID(BSTR bstrName, DWORD grfdex, DISPID* pid) = 0;
    virtual HRESULT STDMETHODCALLTYPE InvokeEx(DISPID id, LCID lcid, WORD wFlags, DISPPARAMS* pdp,
                                               VARIANT* pvarRes, EXCEPINFO* pei,
                                               IServiceProvider* pspCaller) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteMemberByName(BSTR bstrName, DWORD grfdex) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteMemberByDispID(DISPID id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMemberProperties(DISPID id, DWORD grfdexFetch,
                                                          DWORD* pgrfdex) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMemberName(DISPID id, BSTR* pbstrName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextDispID(DWORD grfdex, DISPID id, DISPID* pid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNameSpaceParent(IUnknown** ppunk) = 0;
};
KV_DECLARE_UUID(IDispatchEx, "A6EF9860-C720-11D0-9337-00A0C90DCAA9");
inline constexpr IID IID_IDispatchEx = __uuidof(IDispatchEx);
