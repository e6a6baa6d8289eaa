// A namespace as the service serves it: the classes it holds and, for one class, the
// instances a query runs over together with how they are to be delivered.
//
// The service serves the namespaces of the classes registered with KAVREL_WMI_CLASS (filled
// from the live machine); a program or module may link another opener in (the tests'
// fixture namespaces read from data files, fixture/fixture_namespace.h). A source is immutable once
// made and shared by every object that came from it, so it is safe to use from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "provider/class_decl.h"

namespace kvwmi {

// A property read that is made to fail: Get of that property answers `result`.
struct InjectedFailure {
    int property = -1;  // index into the class's properties
    HRESULT result = WBEM_E_FAILED;
};

struct SourceRow {
    Instance values;
    std::vector<InjectedFailure> failures;
};

// The pace of an asynchronous delivery.
struct DeliveryPlan {
    uint32_t batch_size = 32;       // objects per Indicate call
    uint32_t delay_before_ms = 0;   // before the first Indicate
    uint32_t delay_between_ms = 0;  // between two Indicate calls
};

// The fields of the __ExtendedStatus object handed to SetStatus; an absent field reads as
// VT_NULL.
struct StatusFields {
    std::optional<std::u16string> description;
    std::optional<std::u16string> operation;
    std::optional<std::u16string> parameter_info;
    std::optional<std::u16string> provider_name;
    std::optional<std::u16string> object_info;
    std::optional<int32_t> status_code;
    std::optional<int32_t> error_code;
};

// How a query over the class ends once every matching object is delivered.
struct FinalStatus {
    HRESULT result = WBEM_S_NO_ERROR;
    bool send_object = false;  // hand a status object to SetStatus even on success
    StatusFields fields;
};

struct ClassContent {
    std::vector<SourceRow> rows;
    DeliveryPlan plan;
    FinalStatus status;
};

class NamespaceSource {
  public:
    virtual ~NamespaceSource() = default;

    // The namespace's name as given to ConnectServer ("root\cimv2").
    virtual const std::u16string& Name() const = 0;
    // The class of that name (case-insensitive), or null.
    virtual const ClassDecl* FindClass(std::u16string_view name) const = 0;
    // Every class of the namespace.
    virtual std::vector<const ClassDecl*> Classes() const = 0;
    // The class's instances now, with at least the selected properties computed (a source
    // may fill more). Throws when the class cannot be read at all; the service reports that
    // as WBEM_E_PROVIDER_FAILURE with the exception's text.
    virtual ClassContent Enumerate(const ClassDecl& decl, const Selection& selection) const = 0;
    // The instances that may satisfy `equals` (see LookupFunction in provider/class_decl.h),
    // or nullopt when the source cannot look them up and the caller must enumerate. Throws as
    // Enumerate does.
    virtual std::optional<ClassContent> Lookup(const ClassDecl&, const std::vector<PropertyEquals>&,
                                               const Selection&) const {
        return std::nullopt;
    }
    // What ConnectServer answers for this namespace: a failure refuses the connection, a
    // success code other than 0 comes with the connection (a fixture chooses).
    virtual HRESULT ConnectResult() const { return WBEM_S_NO_ERROR; }
    // What a query of the class answers when it is started, before anything runs: a failure
    // refuses the call, a success code other than 0 comes with a call that runs (a fixture
    // chooses).
    virtual HRESULT StartResult(const ClassDecl&) const { return WBEM_S_NO_ERROR; }
};

// Opens a namespace by name (case-insensitive): one the linked-in opener serves, or one that
// holds registered classes ("root\cimv2" and "root\default" always exist).
// WBEM_E_INVALID_NAMESPACE when there is no such namespace.
HRESULT OpenNamespace(std::u16string_view name, std::shared_ptr<const NamespaceSource>& out);

// Another source of namespaces, asked first for every name: S_FALSE for a name it does not
// serve, else its answer for that name.
using NamespaceOpener = HRESULT (*)(std::u16string_view name,
                                    std::shared_ptr<const NamespaceSource>& out);

// Sets the one extra opener (null: none). Called while a program or module loads, by the
// objects that bring the opener in. Thread safe.
void SetNamespaceOpener(NamespaceOpener opener);

}  // namespace kvwmi
