// Namespaces of the classes registered with KAVREL_WMI_CLASS, and the choice between them
// and the namespaces of a linked-in opener.
#include <atomic>
#include <stdexcept>

#include "kvwin/ascii_case.h"
#include "service/namespace_source.h"
#include "win/debug.h"

namespace kvwmi {

namespace {

class RegisteredNamespace final : public NamespaceSource {
  public:
    explicit RegisteredNamespace(std::u16string name) : name_(std::move(name)) {}

    const std::u16string& Name() const override { return name_; }
    const ClassDecl* FindClass(std::u16string_view name) const override {
        return kvwmi::FindClass(name_, name);
    }
    std::vector<const ClassDecl*> Classes() const override {
        std::vector<const ClassDecl*> classes;
        for (const ClassDecl* decl : RegisteredClasses()) {
            if (kvwin::EqualsAsciiNoCase(decl->ns, name_))
                classes.push_back(decl);
        }
        return classes;
    }
    ClassContent Enumerate(const ClassDecl& decl, const Selection& selection) const override {
        std::vector<Instance> instances;
        FillInstances(decl, selection, instances);
        return Rows(decl, std::move(instances));
    }
    std::optional<ClassContent> Lookup(const ClassDecl& decl,
                                       const std::vector<PropertyEquals>& equals,
                                       const Selection& selection) const override {
        std::vector<Instance> instances;
        if (!LookupInstances(decl, equals, selection, instances))
            return std::nullopt;
        return Rows(decl, std::move(instances));
    }

  private:
    static ClassContent Rows(const ClassDecl& decl, std::vector<Instance> instances) {
        ClassContent content;
        content.rows.reserve(instances.size());
        for (Instance& instance : instances) {
            // A provider that appends a short instance would make every later read wrong.
            if (instance.size() != decl.properties.size())
                throw std::logic_error("an instance does not match its class declaration");
            content.rows.push_back(SourceRow{std::move(instance), {}});
        }
        return content;
    }

    std::u16string name_;
};

bool NamespaceExists(std::u16string_view name) {
    if (kvwin::EqualsAsciiNoCase(name, u"root\\cimv2") ||
        kvwin::EqualsAsciiNoCase(name, u"root\\default"))
        return true;
    for (const ClassDecl* decl : RegisteredClasses()) {
        if (kvwin::EqualsAsciiNoCase(decl->ns, name))
            return true;
    }
    return false;
}

std::atomic<NamespaceOpener>& ExtraOpener() {
    static std::atomic<NamespaceOpener> opener{nullptr};
    return opener;
}

}  // namespace

void SetNamespaceOpener(NamespaceOpener opener) {
    ExtraOpener() = opener;
}

HRESULT OpenNamespace(std::u16string_view name, std::shared_ptr<const NamespaceSource>& out) {
    out.reset();
    if (NamespaceOpener extra = ExtraOpener()) {
        HRESULT hr = extra(name, out);
        if (hr != S_FALSE)
            return hr;
        out.reset();
    }
    if (!NamespaceExists(name)) {
        // For whoever named it; ConnectServer itself answers only the code.
        const std::u16string message = u"kavrel-wmi: no namespace " + std::u16string(name) + u"\n";
        OutputDebugStringW(message.c_str());
        return WBEM_E_INVALID_NAMESPACE;
    }
    out = std::make_shared<RegisteredNamespace>(std::u16string(name));
    return WBEM_S_NO_ERROR;
}

}  // namespace kvwmi
