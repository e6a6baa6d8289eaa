// _com_ptr_t: the COM smart pointer of compiler COM support.
//
//   _COM_SMARTPTR_TYPEDEF(IFoo, __uuidof(IFoo));   // IFooPtr
//   IFooPtr foo;
//   HRESULT hr = foo.CreateInstance(u"Vendor.Foo");     // or a CLSID, or "{...}" text
//   IBarPtr bar = foo;                                   // QueryInterface; null if refused
//   foo->Method();                                       // E_POINTER raised when null
//
// The pointer holds one reference to its interface and releases it when it lets go.
// Converting from another interface (a pointer or another smart pointer) asks for this one
// with QueryInterface: E_NOINTERFACE leaves the smart pointer null, any other failure is
// raised as _com_error. Comparisons compare object identities (the IUnknown pointers).
// Thread safety: like a raw interface pointer, one _com_ptr_t object must not be changed
// by two threads at once; the object it points to decides its own thread safety.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <type_traits>

#include "win/com.h"
#include "win/comutil.h"
#include "win/text.h"

// The interface and IID a smart pointer type is made for.
template <class Iface, const IID* Iid>
class _com_IIID {
  public:
    typedef Iface Interface;
    static Iface* GetInterfacePtr() noexcept { return nullptr; }
    static const IID& GetIID() noexcept { return *Iid; }
};

template <class IidTraits>
class _com_ptr_t {
    template <class Other>
    static constexpr bool kIsInterface = std::is_base_of_v<IUnknown, Other>;

  public:
    typedef IidTraits ThisIIID;
    typedef typename IidTraits::Interface Interface;

    static const IID& GetIID() noexcept { return ThisIIID::GetIID(); }

    // ---- construction ----------------------------------------------------------------
    _com_ptr_t() noexcept = default;
    // Null (nullptr, NULL, 0).
    _com_ptr_t(std::nullptr_t) noexcept {}
    // From an interface pointer: this interface itself gets a reference added; another
    // interface (or an object type) is asked for this one with QueryInterface.
    template <class Other>
    requires kIsInterface<Other> _com_ptr_t(Other* p) {
        if constexpr (std::is_same_v<Other, Interface>) {
            p_ = p;
            AddRefHeld();
        } else {
            QueryOrRaise(p);
        }
    }
    // fAddRef false takes over the caller's reference.
    _com_ptr_t(Interface* p, bool fAddRef) noexcept : p_(p) {
        if (fAddRef)
            AddRefHeld();
    }
    _com_ptr_t(const _com_ptr_t& cp) noexcept : p_(cp.p_) { AddRefHeld(); }
    _com_ptr_t(_com_ptr_t&& cp) noexcept : p_(cp.p_) { cp.p_ = nullptr; }
    // QueryInterface from another interface.
    template <class OtherIID>
    _com_ptr_t(const _com_ptr_t<OtherIID>& p) {
        QueryOrRaise(p.GetInterfacePtr());
    }
    // QueryInterface from the object a variant holds (VT_DISPATCH, VT_UNKNOWN, or what
    // converts to them).
    _com_ptr_t(const _variant_t& varSrc) {
        HRESULT hr = QueryStdInterfaces(varSrc);
        if (FAILED(hr) && hr != E_NOINTERFACE)
            _com_issue_error(hr);
    }
    // CreateInstance, raising its failure (except E_NOINTERFACE, which leaves null).
    explicit _com_ptr_t(const CLSID& clsid, IUnknown* pOuter = nullptr,
                        DWORD dwClsContext = CLSCTX_ALL) {
        CreateOrRaise(CreateInstance(clsid, pOuter, dwClsContext));
    }
    // "{clsid}" or ProgID text, wide or ANSI. (A template, so that NULL picks the null
    // constructor.)
    template <class Char>
    requires std::is_same_v<Char, WCHAR> || std::is_same_v<Char, char>
    explicit _com_ptr_t(const Char* str, IUnknown* pOuter = nullptr,
                        DWORD dwClsContext = CLSCTX_ALL) {
        CreateOrRaise(CreateInstance(str, pOuter, dwClsContext));
    }
    ~_com_ptr_t() { ReleaseHeld(); }

    // ---- assignment ------------------------------------------------------------------
    _com_ptr_t& operator=(const _com_ptr_t& cp) noexcept {
        Hold(cp.p_);
        return *this;
    }
    _com_ptr_t& operator=(_com_ptr_t&& cp) noexcept {
        if (this != std::addressof(cp)) {
            ReleaseHeld();
            p_ = cp.p_;
            cp.p_ = nullptr;
        }
        return *this;
    }
    template <class OtherIID>
    _com_ptr_t& operator=(const _com_ptr_t<OtherIID>& p) {
        QueryOrRaise(p.GetInterfacePtr());
        return *this;
    }
    // As the constructor: this interface is held with a reference of its own, another one
    // is asked for this one.
    template <class Other>
    requires kIsInterface<Other> _com_ptr_t& operator=(Other* p) {
        if constexpr (std::is_same_v<Other, Interface>) {
            Hold(p);
        } else {
            QueryOrRaise(p);
        }
        return *this;
    }
    _com_ptr_t& operator=(std::nullptr_t) noexcept {
        ReleaseHeld();
        return *this;
    }
    _com_ptr_t& operator=(const _variant_t& varSrc) {
        HRESULT hr = QueryStdInterfaces(varSrc);
        if (FAILED(hr) && hr != E_NOINTERFACE)
            _com_issue_error(hr);
        return *this;
    }

    // ---- ownership -------------------------------------------------------------------
    // Releases what is held and takes p without adding a reference (fAddRef: adds one).
    void Attach(Interface* p) noexcept {
        ReleaseHeld();
        p_ = p;
    }
    void Attach(Interface* p, bool fAddRef) noexcept {
        ReleaseHeld();
        p_ = p;
        if (fAddRef)
            AddRefHeld();
    }
    // Hands the reference to the caller and becomes null.
    Interface* Detach() noexcept {
        Interface* p = p_;
        p_ = nullptr;
        return p;
    }
    // The smart pointer's own AddRef/Release (not the interface's): E_POINTER when null;
    // Release also lets go of the pointer.
    void AddRef() {
        if (!p_)
            _com_issue_error(E_POINTER);
        p_->AddRef();
    }
    void Release() {
        if (!p_)
            _com_issue_error(E_POINTER);
        ReleaseHeld();
    }

    // ---- access ----------------------------------------------------------------------
    operator Interface*() const noexcept { return p_; }
    operator Interface&() const {
        if (!p_)
            _com_issue_error(E_POINTER);
        return *p_;
    }
    Interface& operator*() const {
        if (!p_)
            _com_issue_error(E_POINTER);
        return *p_;
    }
    Interface* operator->() const {
        if (!p_)
            _com_issue_error(E_POINTER);
        return p_;
    }
    // Releases what is held and returns the address of the (now null) pointer, for an
    // [out] parameter to fill.
    Interface** operator&() noexcept {
        ReleaseHeld();
        return &p_;
    }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    bool operator!() const noexcept { return p_ == nullptr; }
    Interface* GetInterfacePtr() const noexcept { return p_; }
    Interface*& GetInterfacePtr() noexcept { return p_; }

    // ---- interfaces and instances ----------------------------------------------------
    template <class Other>
    HRESULT QueryInterface(const IID& iid, Other*& p) const noexcept {
        if (!p_)
            return E_POINTER;
        return p_->QueryInterface(iid, reinterpret_cast<void**>(&p));
    }
    template <class Other>
    HRESULT QueryInterface(const IID& iid, Other** p) const noexcept {
        if (!p_)
            return E_POINTER;
        return p_->QueryInterface(iid, reinterpret_cast<void**>(p));
    }

    // Releases what is held, then creates an object of the class and holds its interface.
    // A context that allows local or remote servers asks for IUnknown, runs the object
    // (OleRun) and then asks for the interface. Returns the HRESULT; null on failure.
    HRESULT CreateInstance(const CLSID& rclsid, IUnknown* pOuter = nullptr,
                           DWORD dwClsContext = CLSCTX_ALL) noexcept {
        ReleaseHeld();
        HRESULT hr;
        if (dwClsContext & (CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)) {
            IUnknown* unknown = nullptr;
            hr = CoCreateInstance(rclsid, pOuter, dwClsContext, __uuidof(IUnknown),
                                  reinterpret_cast<void**>(&unknown));
            if (SUCCEEDED(hr)) {
                hr = OleRun(unknown);
                if (SUCCEEDED(hr))
                    hr = unknown->QueryInterface(GetIID(), reinterpret_cast<void**>(&p_));
                unknown->Release();
            }
        } else {
            hr = CoCreateInstance(rclsid, pOuter, dwClsContext, GetIID(),
                                  reinterpret_cast<void**>(&p_));
        }
        if (FAILED(hr))
            p_ = nullptr;
        return hr;
    }
    // "{clsid}" text (CLSIDFromString) or a ProgID (CLSIDFromProgID).
    HRESULT CreateInstance(LPCWSTR clsidString, IUnknown* pOuter = nullptr,
                           DWORD dwClsContext = CLSCTX_ALL) noexcept {
        if (!clsidString)
            return E_INVALIDARG;
        CLSID clsid;
        HRESULT hr = clsidString[0] == u'{' ? CLSIDFromString(clsidString, &clsid)
                                            : CLSIDFromProgID(clsidString, &clsid);
        if (FAILED(hr))
            return hr;
        return CreateInstance(clsid, pOuter, dwClsContext);
    }
    // The same in ANSI text.
    HRESULT CreateInstance(LPCSTR clsidStringA, IUnknown* pOuter = nullptr,
                           DWORD dwClsContext = CLSCTX_ALL) noexcept {
        if (!clsidStringA)
            return E_INVALIDARG;
        WCHAR wide[256];
        int n = MultiByteToWideChar(CP_ACP, 0, clsidStringA, -1, wide, 256);
        if (n == 0)
            return HRESULT_FROM_WIN32(GetLastError());
        return CreateInstance(static_cast<LPCWSTR>(wide), pOuter, dwClsContext);
    }

    // ---- comparison (object identity) ------------------------------------------------
    template <class OtherIID>
    bool operator==(const _com_ptr_t<OtherIID>& p) const {
        return CompareUnknown(p.GetInterfacePtr()) == 0;
    }
    template <class Other>
    requires kIsInterface<Other>
    bool operator==(Other* p) const {
        if (static_cast<const void*>(p_) == static_cast<const void*>(p))
            return true;
        return CompareUnknown(p) == 0;
    }
    // Null (nullptr, NULL, 0).
    bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }
    template <class OtherIID>
    bool operator<(const _com_ptr_t<OtherIID>& p) const {
        return CompareUnknown(p.GetInterfacePtr()) < 0;
    }
    template <class Other>
    requires kIsInterface<Other>
    bool operator<(Other* p) const { return CompareUnknown(p) < 0; }

  private:
    // Holds p with a reference of its own, letting go of the old pointer afterwards (p may
    // be reached only through it).
    void Hold(Interface* p) noexcept {
        if (p_ != p) {
            Interface* old = p_;
            p_ = p;
            AddRefHeld();
            if (old)
                old->Release();
        }
    }
    void AddRefHeld() noexcept {
        if (p_)
            p_->AddRef();
    }
    void ReleaseHeld() noexcept {
        if (p_) {
            Interface* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }

    // Holds p's answer for our IID: E_NOINTERFACE (null) for a null p.
    template <class Other>
    HRESULT QueryFrom(Other* p) noexcept {
        if (!p) {
            ReleaseHeld();
            return E_NOINTERFACE;
        }
        Interface* got = nullptr;
        HRESULT hr = p->QueryInterface(GetIID(), reinterpret_cast<void**>(&got));
        Attach(SUCCEEDED(hr) ? got : nullptr);
        return hr;
    }
    template <class Other>
    void QueryOrRaise(Other* p) {
        HRESULT hr = QueryFrom(p);
        if (FAILED(hr) && hr != E_NOINTERFACE)
            _com_issue_error(hr);
    }
    void CreateOrRaise(HRESULT hr) {
        if (FAILED(hr) && hr != E_NOINTERFACE)
            _com_issue_error(hr);
    }

    HRESULT QueryStdInterfaces(const _variant_t& varSrc) {
        if (varSrc.vt == VT_DISPATCH)
            return QueryFrom(varSrc.pdispVal);
        if (varSrc.vt == VT_UNKNOWN)
            return QueryFrom(varSrc.punkVal);
        // Something else: see whether it converts to an object, IDispatch first.
        VARIANT object;
        VariantInit(&object);
        HRESULT hr = VariantChangeType(&object, &varSrc, 0, VT_DISPATCH);
        if (SUCCEEDED(hr))
            hr = QueryFrom(object.pdispVal);
        VariantClear(&object);
        if (hr == E_NOINTERFACE) {
            hr = VariantChangeType(&object, &varSrc, 0, VT_UNKNOWN);
            if (SUCCEEDED(hr))
                hr = QueryFrom(object.punkVal);
            VariantClear(&object);
        }
        return hr;
    }

    // The object's IUnknown, without keeping a reference; nullptr for null.
    template <class Other>
    static IUnknown* Identity(Other* p) {
        if (!p)
            return nullptr;
        IUnknown* unknown = nullptr;
        HRESULT hr = p->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&unknown));
        if (FAILED(hr))
            _com_issue_error(hr);
        unknown->Release();
        return unknown;
    }
    template <class Other>
    int CompareUnknown(Other* p) const {
        IUnknown* mine = Identity(p_);
        IUnknown* theirs = Identity(p);
        if (mine == theirs)
            return 0;
        return std::less<IUnknown*>()(mine, theirs) ? -1 : 1;
    }

    Interface* p_ = nullptr;
};

// IFoo -> IFooPtr, a _com_ptr_t for IFoo with the given IID.
#define _COM_SMARTPTR_TYPEDEF(Interface, IID) \
    typedef _com_ptr_t<_com_IIID<Interface, &IID>> Interface##Ptr
