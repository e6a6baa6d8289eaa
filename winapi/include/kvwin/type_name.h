// The class name an automation object gives about itself: the type information that
// IDispatch::GetTypeInfo hands out for the layer's dispatch objects. It answers
// GetDocumentation(MEMBERID_NIL) with the name (what a script's TypeName shows) and
// E_NOTIMPL for everything else; the layer has no type libraries to describe members with.
//
// DeclaredTypeName<T>() is the unqualified name of the C++ class T, so an object is named by
// its declaration (`class Dictionary final : public DispatchObject<Dictionary, ...>` is
// "Dictionary"); an object whose public name differs overrides DispatchObject::TypeName.
//
// Thread safety: ClassNameInfo is immutable after construction; DeclaredTypeName's storage
// is made once per type under the language's static-initialisation guarantee.
#pragma once

#include <string>
#include <string_view>

#include "kvwin/com_object.h"
#include "win/oleauto.h"
#include "win/typeinfo.h"

namespace kvwin {

namespace type_name_detail {

template <class T>
constexpr std::string_view Signature() {
#if defined(_MSC_VER) && !defined(__clang__)
    return __FUNCSIG__;
#else
    return __PRETTY_FUNCTION__;
#endif
}

// The last identifier of the type named in a function signature (namespaces, "class "
// and template arguments dropped).
constexpr std::string_view LastIdentifier(std::string_view signature) {
#if defined(_MSC_VER) && !defined(__clang__)
    size_t open = signature.find("Signature<");
    size_t end = signature.rfind(">(");
    if (open == std::string_view::npos || end == std::string_view::npos)
        return {};
    std::string_view type = signature.substr(open + 10, end - open - 10);
#else
    size_t open = signature.find("T = ");
    if (open == std::string_view::npos)
        return {};
    std::string_view type = signature.substr(open + 4);
    size_t end = type.find_first_of(";]");
    type = type.substr(0, end);
#endif
    size_t args = type.find('<');
    if (args != std::string_view::npos)
        type = type.substr(0, args);
    size_t colon = type.rfind("::");
    if (colon != std::string_view::npos)
        type = type.substr(colon + 2);
    size_t blank = type.rfind(' ');
    if (blank != std::string_view::npos)
        type = type.substr(blank + 1);
    return type;
}

}  // namespace type_name_detail

template <class T>
std::u16string_view DeclaredTypeName() {
    static const std::u16string name = [] {
        constexpr std::string_view ascii =
            type_name_detail::LastIdentifier(type_name_detail::Signature<T>());
        return std::u16string(ascii.begin(), ascii.end());
    }();
    return name;
}

// ITypeInfo that knows only the class name.
class ClassNameInfo final : public ComObject<ITypeInfo> {
  public:
    explicit ClassNameInfo(std::u16string_view name) : name_(name) {}

    STDMETHODIMP GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* help_context,
                                  BSTR* help_file) override {
        if (name)
            *name = nullptr;
        if (doc)
            *doc = nullptr;
        if (help_context)
            *help_context = 0;
        if (help_file)
            *help_file = nullptr;
        if (id != MEMBERID_NIL)
            return TYPE_E_ELEMENTNOTFOUND;
        if (name) {
            *name = SysAllocStringLen(name_.data(), UINT(name_.size()));
            if (!*name)
                return E_OUTOFMEMORY;
        }
        return S_OK;
    }

    STDMETHODIMP GetTypeAttr(TYPEATTR** attr) override { return NotHere(attr); }
    STDMETHODIMP GetTypeComp(ITypeComp** comp) override { return NotHere(comp); }
    STDMETHODIMP GetFuncDesc(UINT, FUNCDESC** desc) override { return NotHere(desc); }
    STDMETHODIMP GetVarDesc(UINT, VARDESC** desc) override { return NotHere(desc); }
    STDMETHODIMP GetNames(MEMBERID, BSTR*, UINT, UINT* count) override {
        if (count)
            *count = 0;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetRefTypeOfImplType(UINT, HREFTYPE*) override { return E_NOTIMPL; }
    STDMETHODIMP GetImplTypeFlags(UINT, INT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetDllEntry(MEMBERID, INVOKEKIND, BSTR* dll, BSTR* name, WORD*) override {
        if (dll)
            *dll = nullptr;
        if (name)
            *name = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetRefTypeInfo(HREFTYPE, ITypeInfo** info) override { return NotHere(info); }
    STDMETHODIMP AddressOfMember(MEMBERID, INVOKEKIND, PVOID* address) override {
        return NotHere(address);
    }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, PVOID* object) override {
        return NotHere(object);
    }
    STDMETHODIMP GetMops(MEMBERID, BSTR* mops) override { return NotHere(mops); }
    STDMETHODIMP GetContainingTypeLib(ITypeLib** lib, UINT* index) override {
        if (index)
            *index = 0;
        return NotHere(lib);
    }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR*) override {}
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC*) override {}
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

  private:
    ~ClassNameInfo() override = default;

    template <class P>
    static HRESULT NotHere(P** out) {
        if (out)
            *out = nullptr;
        return E_NOTIMPL;
    }

    const std::u16string name_;
};

}  // namespace kvwin
