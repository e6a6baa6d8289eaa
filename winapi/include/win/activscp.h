// Active Scripting: the interfaces between a script engine and the program that hosts it.
//
// A host creates an engine (CLSID_JScript, CLSID_VBScript), hands it a site
// (IActiveScriptSite) through which the engine asks for the host's named items and reports
// errors, feeds it script text through IActiveScriptParse64, runs it by moving it to the
// started or connected state, and calls the script's functions through the IDispatch that
// IActiveScript::GetScriptDispatch returns.
//
// The interfaces keep the Windows method order and identities, so code written against the
// Windows declarations compiles unchanged. docs/components/jscript.md says what the engines
// implement. An engine object belongs to the thread that set its site; only
// InterruptScriptThread, AddRef and Release may be called from any other thread.
#pragma once

#include "win/com.h"
#include "win/oleauto.h"

typedef enum tagSCRIPTSTATE {
    SCRIPTSTATE_UNINITIALIZED = 0,
    SCRIPTSTATE_STARTED = 1,
    SCRIPTSTATE_CONNECTED = 2,
    SCRIPTSTATE_DISCONNECTED = 3,
    SCRIPTSTATE_CLOSED = 4,
    SCRIPTSTATE_INITIALIZED = 5,
} SCRIPTSTATE;

typedef enum tagSCRIPTTHREADSTATE {
    SCRIPTTHREADSTATE_NOTINSCRIPT = 0,
    SCRIPTTHREADSTATE_RUNNING = 1,
} SCRIPTTHREADSTATE;

typedef DWORD SCRIPTTHREADID;
#define SCRIPTTHREADID_CURRENT ((SCRIPTTHREADID)-1)
#define SCRIPTTHREADID_BASE ((SCRIPTTHREADID)-2)
#define SCRIPTTHREADID_ALL ((SCRIPTTHREADID)-3)

// IActiveScript::AddNamedItem flags.
#define SCRIPTITEM_ISVISIBLE 0x00000002
#define SCRIPTITEM_ISSOURCE 0x00000004
#define SCRIPTITEM_GLOBALMEMBERS 0x00000008
#define SCRIPTITEM_ISPERSISTENT 0x00000040
#define SCRIPTITEM_CODEONLY 0x00000200
#define SCRIPTITEM_NOCODE 0x00000400
#define SCRIPTITEM_ALL_FLAGS                                                \
    (SCRIPTITEM_ISSOURCE | SCRIPTITEM_ISVISIBLE | SCRIPTITEM_ISPERSISTENT | \
     SCRIPTITEM_GLOBALMEMBERS | SCRIPTITEM_NOCODE | SCRIPTITEM_CODEONLY)

// IActiveScriptParse::ParseScriptText and AddScriptlet flags.
#define SCRIPTTEXT_DELAYEXECUTION 0x00000001
#define SCRIPTTEXT_ISVISIBLE 0x00000002
#define SCRIPTTEXT_ISEXPRESSION 0x00000020
#define SCRIPTTEXT_ISPERSISTENT 0x00000040
#define SCRIPTTEXT_HOSTMANAGESSOURCE 0x00000080
#define SCRIPTTEXT_ISXDOMAIN 0x00000100
#define SCRIPTTEXT_ALL_FLAGS                                                      \
    (SCRIPTTEXT_DELAYEXECUTION | SCRIPTTEXT_ISVISIBLE | SCRIPTTEXT_ISEXPRESSION | \
     SCRIPTTEXT_ISPERSISTENT | SCRIPTTEXT_HOSTMANAGESSOURCE | SCRIPTTEXT_ISXDOMAIN)

// IActiveScriptSite::GetItemInfo return mask.
#define SCRIPTINFO_IUNKNOWN 0x00000001
#define SCRIPTINFO_ITYPEINFO 0x00000002
#define SCRIPTINFO_ALL_FLAGS (SCRIPTINFO_IUNKNOWN | SCRIPTINFO_ITYPEINFO)

// IActiveScript::InterruptScriptThread flags.
#define SCRIPTINTERRUPT_DEBUG 0x00000001
#define SCRIPTINTERRUPT_RAISEEXCEPTION 0x00000002
#define SCRIPTINTERRUPT_ALL_FLAGS (SCRIPTINTERRUPT_DEBUG | SCRIPTINTERRUPT_RAISEEXCEPTION)

// IActiveScript::AddTypeLib flags.
#define SCRIPTTYPELIB_ISCONTROL 0x00000010
#define SCRIPTTYPELIB_ISPERSISTENT 0x00000040

// An error the engine has already handed to IActiveScriptSite::OnScriptError.
#define SCRIPT_E_REPORTED ((HRESULT)0x80020101L)
#define SCRIPT_E_RECORDED ((HRESULT)0x86664004L)
#define SCRIPT_E_PROPAGATE ((HRESULT)0x80020102L)
#define OLESCRIPT_E_SYNTAX ((HRESULT)0x80020101L)

struct IActiveScript;
struct IActiveScriptSite;

// The description of one script error, handed to IActiveScriptSite::OnScriptError.
struct IActiveScriptError : IUnknown {
    // The error's code (scode), source and description. The caller frees the BSTRs.
    STDMETHOD(GetExceptionInfo)(EXCEPINFO* pexcepinfo) = 0;
    // The source context cookie given with the text, the zero-based line (counted from the
    // starting line given with the text) and the zero-based column.
    STDMETHOD(GetSourcePosition)
    (DWORD* pdwSourceContext, ULONG* pulLineNumber, LONG* plCharacterPosition) = 0;
    // The text of the line the error is on, without its line break.
    STDMETHOD(GetSourceLineText)(BSTR* pbstrSourceLine) = 0;
};
KV_DECLARE_UUID(IActiveScriptError, "EAE1BA61-A4ED-11CF-8F20-00805F2CD064");

struct IActiveScriptError64 : IActiveScriptError {
    STDMETHOD(GetSourcePosition64)
    (DWORDLONG* pdwSourceContext, ULONG* pulLineNumber, LONG* plCharacterPosition) = 0;
};
KV_DECLARE_UUID(IActiveScriptError64, "B21FB2A1-5B8F-4963-8C21-21450F84ED7F");

// What the host gives the engine.
struct IActiveScriptSite : IUnknown {
    STDMETHOD(GetLCID)(LCID* plcid) = 0;
    // The object behind a named item (SCRIPTINFO_IUNKNOWN) and/or its type information
    // (SCRIPTINFO_ITYPEINFO). TYPE_E_ELEMENTNOTFOUND when the host has no such item.
    STDMETHOD(GetItemInfo)
    (LPCOLESTR pstrName, DWORD dwReturnMask, IUnknown** ppiunkItem, ITypeInfo** ppti) = 0;
    STDMETHOD(GetDocVersionString)(BSTR* pbstrVersion) = 0;
    STDMETHOD(OnScriptTerminate)(const VARIANT* pvarResult, const EXCEPINFO* pexcepinfo) = 0;
    STDMETHOD(OnStateChange)(SCRIPTSTATE ssScriptState) = 0;
    STDMETHOD(OnScriptError)(IActiveScriptError* pscripterror) = 0;
    STDMETHOD(OnEnterScript)() = 0;
    STDMETHOD(OnLeaveScript)() = 0;
};
KV_DECLARE_UUID(IActiveScriptSite, "DB01A1E3-A42B-11CF-8F20-00805F2CD064");

// A site that owns a window; declared for hosts that implement it, never asked for here.
struct IActiveScriptSiteWindow : IUnknown {
    STDMETHOD(GetWindow)(HWND* phwnd) = 0;
    STDMETHOD(EnableModeless)(BOOL fEnable) = 0;
};
KV_DECLARE_UUID(IActiveScriptSiteWindow, "D10F6761-83E9-11CF-8F20-00805F2CD064");

// A host without windows that answers the language's dialogs itself (this platform's own
// interface; an engine asks the site for it when MsgBox or InputBox runs, and a site
// without it refuses the dialog as a Windows host without a window does). Each method gets
// the dialog's texts (empty when the script gave none) and returns S_OK with the answer for
// the script; a failure refuses the dialog. ShowMessage's style is MsgBox's buttons
// argument (MB_* bits) and *answer holds, on entry, what its default button answers
// (IDOK, IDYES, ...); AskText's default is the text the box would start with.
struct IActiveScriptSiteDialogs : IUnknown {
    STDMETHOD(ShowMessage)(LPCOLESTR text, LPCOLESTR caption, UINT style, INT* answer) = 0;
    STDMETHOD(AskText)
    (LPCOLESTR prompt, LPCOLESTR caption, LPCOLESTR default_text, BSTR* answer) = 0;
};
KV_DECLARE_UUID(IActiveScriptSiteDialogs, "E237BB7F-D268-470B-8414-20DC4E203291");

struct IActiveScript : IUnknown {
    STDMETHOD(SetScriptSite)(IActiveScriptSite* pass) = 0;
    STDMETHOD(GetScriptSite)(REFIID riid, void** ppvObject) = 0;
    STDMETHOD(SetScriptState)(SCRIPTSTATE ss) = 0;
    STDMETHOD(GetScriptState)(SCRIPTSTATE* pssState) = 0;
    STDMETHOD(Close)() = 0;
    STDMETHOD(AddNamedItem)(LPCOLESTR pstrName, DWORD dwFlags) = 0;
    STDMETHOD(AddTypeLib)(REFGUID rguidTypeLib, DWORD dwMajor, DWORD dwMinor, DWORD dwFlags) = 0;
    // The global object of the script (pstrItemName null) or of a named item's code.
    STDMETHOD(GetScriptDispatch)(LPCOLESTR pstrItemName, IDispatch** ppdisp) = 0;
    STDMETHOD(GetCurrentScriptThreadID)(SCRIPTTHREADID* pstidThread) = 0;
    STDMETHOD(GetScriptThreadID)(DWORD dwWin32ThreadId, SCRIPTTHREADID* pstidThread) = 0;
    STDMETHOD(GetScriptThreadState)
    (SCRIPTTHREADID stidThread, SCRIPTTHREADSTATE* pstsState) = 0;
    // May be called from any thread, at any time.
    STDMETHOD(InterruptScriptThread)
    (SCRIPTTHREADID stidThread, const EXCEPINFO* pexcepinfo, DWORD dwFlags) = 0;
    STDMETHOD(Clone)(IActiveScript** ppscript) = 0;
};
KV_DECLARE_UUID(IActiveScript, "BB1A2AE1-A4F9-11CF-8F20-00805F2CD064");

// The source context cookie of IActiveScriptParse64 is 64 bits wide, of ...32 32 bits.
struct IActiveScriptParse64 : IUnknown {
    STDMETHOD(InitNew)() = 0;
    STDMETHOD(AddScriptlet)
    (LPCOLESTR pstrDefaultName, LPCOLESTR pstrCode, LPCOLESTR pstrItemName,
     LPCOLESTR pstrSubItemName, LPCOLESTR pstrEventName, LPCOLESTR pstrDelimiter,
     DWORDLONG dwSourceContextCookie, ULONG ulStartingLineNumber, DWORD dwFlags, BSTR* pbstrName,
     EXCEPINFO* pexcepinfo) = 0;
    // Adds script text. Global code runs now when the engine is started or connected, else
    // when it gets there. SCRIPTTEXT_ISEXPRESSION evaluates the text and returns its value
    // in pvarResult.
    STDMETHOD(ParseScriptText)
    (LPCOLESTR pstrCode, LPCOLESTR pstrItemName, IUnknown* punkContext, LPCOLESTR pstrDelimiter,
     DWORDLONG dwSourceContextCookie, ULONG ulStartingLineNumber, DWORD dwFlags,
     VARIANT* pvarResult, EXCEPINFO* pexcepinfo) = 0;
};
KV_DECLARE_UUID(IActiveScriptParse64, "C7EF7658-E1EE-480E-97EA-D52CB4D76D17");

// On a 64-bit system the unsuffixed name is the 64-bit interface, as on Windows.
typedef IActiveScriptParse64 IActiveScriptParse;

inline constexpr IID IID_IActiveScript = __uuidof(IActiveScript);
inline constexpr IID IID_IActiveScriptParse64 = __uuidof(IActiveScriptParse64);
inline constexpr IID IID_IActiveScriptParse = __uuidof(IActiveScriptParse64);
inline constexpr IID IID_IActiveScriptSite = __uuidof(IActiveScriptSite);
inline constexpr IID IID_IActiveScriptSiteWindow = __uuidof(IActiveScriptSiteWindow);
inline constexpr IID IID_IActiveScriptSiteDialogs = __uuidof(IActiveScriptSiteDialogs);
inline constexpr IID IID_IActiveScriptError = __uuidof(IActiveScriptError);
inline constexpr IID IID_IActiveScriptError64 = __uuidof(IActiveScriptError64);

// The engines.
//   CLSID_JScript   "JScript"
//   CLSID_VBScript  "VBScript"
inline constexpr CLSID CLSID_JScript =
    kvwin::GuidFromLiteral("F414C260-6AC0-11CF-B6D1-00AA00BBBB58");
inline constexpr CLSID CLSID_VBScript =
    kvwin::GuidFromLiteral("B54F3741-5B07-11CF-A4B0-00AA004A55E8");
