#include "service/services.h"

#include <atomic>

#include "kvwin/ascii_case.h"
#include "kvwin/com_object.h"
#include "service/class_object.h"
#include "service/delivery_threads.h"
#include "service/enumerator.h"
#include "service/module_state.h"
#include "service/namespace_path.h"
#include "service/object_path.h"
#include "service/query_run.h"
#include "wql/binder.h"

namespace kvwmi {

namespace {

uint64_t NextOwnerId() {
    static std::atomic<uint64_t> next{1};
    return next++;
}

class Services final : public kvwin::ComObject<IWbemServices> {
  public:
    explicit Services(std::shared_ptr<const NamespaceSource> source)
        : source_(std::move(source)), owner_(NextOwnerId()) {}

    STDMETHODIMP OpenNamespace(const BSTR name, long, IWbemContext*, IWbemServices** services,
                               IWbemCallResult** result) override {
        if (result)
            *result = nullptr;
        if (!name || !services)
            return WBEM_E_INVALID_PARAMETER;
        *services = nullptr;
        return Guard([&] {
            std::u16string child(name, SysStringLen(name));
            std::shared_ptr<const NamespaceSource> source;
            HRESULT hr = kvwmi::OpenNamespace(source_->Name() + u"\\" + child, source);
            if (FAILED(hr))
                return hr;
            *services = CreateServices(std::move(source));
            return WBEM_S_NO_ERROR;
        });
    }

    STDMETHODIMP CancelAsyncCall(IWbemObjectSink* sink) override {
        if (!sink)
            return WBEM_E_INVALID_PARAMETER;
        return Guard([&] {
            DeliveryThreads& threads = DeliveryThreads::Instance();
            auto jobs = threads.FindBySink(sink);
            if (jobs.empty())
                return WBEM_E_INVALID_PARAMETER;
            for (auto& job : jobs)
                job->Cancel(WBEM_E_CALL_CANCELLED);
            // Waiting inside a callback could wait for this very thread, or for a thread
            // that waits for it.
            if (!threads.OnDeliveryThread()) {
                for (auto& job : jobs)
                    job->WaitDone();
            }
            return WBEM_S_NO_ERROR;
        });
    }

    STDMETHODIMP QueryObjectSink(long, IWbemObjectSink** sink) override {
        if (sink)
            *sink = nullptr;
        return WBEM_E_NOT_SUPPORTED;
    }

    STDMETHODIMP GetObject(const BSTR path, long, IWbemContext*, IWbemClassObject** object,
                           IWbemCallResult** result) override {
        if (result)
            *result = nullptr;
        if (!object)
            return WBEM_E_INVALID_PARAMETER;
        *object = nullptr;
        if (!path || !path[0])
            return WBEM_E_NOT_SUPPORTED;  // an empty class to build: nothing can be written
        return Guard(
            [&] { return GetObjectByPath(std::u16string(path, SysStringLen(path)), object); });
    }

    STDMETHODIMP GetObjectAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP PutClass(IWbemClassObject*, long, IWbemContext*, IWbemCallResult** r) override {
        return NotSupported(r);
    }
    STDMETHODIMP PutClassAsync(IWbemClassObject*, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP DeleteClass(const BSTR, long, IWbemContext*, IWbemCallResult** r) override {
        return NotSupported(r);
    }
    STDMETHODIMP DeleteClassAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }

    STDMETHODIMP CreateClassEnum(const BSTR superclass, long flags, IWbemContext*,
                                 IEnumWbemClassObject** result) override {
        if (!result)
            return WBEM_E_INVALID_PARAMETER;
        *result = nullptr;
        if (superclass && superclass[0])
            return WBEM_E_INVALID_CLASS;  // no class here has subclasses
        return Guard([&] {
            std::vector<IWbemClassObjectPtr> classes;
            std::u16string server = LocalServerName();
            for (const ClassDecl* decl : source_->Classes()) {
                ObjectData data;
                data.source = source_;
                data.decl = decl;
                data.is_class = true;
                data.server = server;
                classes.emplace_back(CreateClassObject(std::move(data)), false);
            }
            *result = CreateEnumerator(std::move(classes), WBEM_S_NO_ERROR,
                                       flags & WBEM_FLAG_FORWARD_ONLY);
            return WBEM_S_NO_ERROR;
        });
    }
    STDMETHODIMP CreateClassEnumAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }

    STDMETHODIMP PutInstance(IWbemClassObject*, long, IWbemContext*, IWbemCallResult** r) override {
        return NotSupported(r);
    }
    STDMETHODIMP PutInstanceAsync(IWbemClassObject*, long, IWbemContext*,
                                  IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP DeleteInstance(const BSTR, long, IWbemContext*, IWbemCallResult** r) override {
        return NotSupported(r);
    }
    STDMETHODIMP DeleteInstanceAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }

    STDMETHODIMP CreateInstanceEnum(const BSTR class_name, long flags, IWbemContext*,
                                    IEnumWbemClassObject** result) override {
        if (!result)
            return WBEM_E_INVALID_PARAMETER;
        *result = nullptr;
        return Guard([&] {
            PreparedQuery prepared;
            HRESULT hr = PrepareClassQuery(class_name, source_, prepared);
            return FAILED(hr) ? hr : RunToEnumerator(prepared, flags, result);
        });
    }
    STDMETHODIMP CreateInstanceEnumAsync(const BSTR class_name, long, IWbemContext*,
                                         IWbemObjectSink* sink) override {
        if (!sink)
            return WBEM_E_INVALID_PARAMETER;
        return Guard([&] {
            PreparedQuery prepared;
            HRESULT hr = PrepareClassQuery(class_name, source_, prepared);
            return FAILED(hr) ? hr : StartDelivery(std::move(prepared), sink);
        });
    }

    STDMETHODIMP ExecQuery(const BSTR language, const BSTR query, long flags, IWbemContext*,
                           IEnumWbemClassObject** result) override {
        if (!result)
            return WBEM_E_INVALID_PARAMETER;
        *result = nullptr;
        return Guard([&] {
            PreparedQuery prepared;
            HRESULT hr = PrepareQuery(language, query, source_, prepared);
            return FAILED(hr) ? hr : RunToEnumerator(prepared, flags, result);
        });
    }
    STDMETHODIMP ExecQueryAsync(const BSTR language, const BSTR query, long, IWbemContext*,
                                IWbemObjectSink* sink) override {
        if (!sink)
            return WBEM_E_INVALID_PARAMETER;
        return Guard([&] {
            PreparedQuery prepared;
            HRESULT hr = PrepareQuery(language, query, source_, prepared);
            return FAILED(hr) ? hr : StartDelivery(std::move(prepared), sink);
        });
    }

    STDMETHODIMP ExecNotificationQuery(const BSTR, const BSTR, long, IWbemContext*,
                                       IEnumWbemClassObject** result) override {
        if (result)
            *result = nullptr;
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP ExecNotificationQueryAsync(const BSTR, const BSTR, long, IWbemContext*,
                                            IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }
    STDMETHODIMP ExecMethod(const BSTR, const BSTR, long, IWbemContext*, IWbemClassObject*,
                            IWbemClassObject** out, IWbemCallResult** r) override {
        if (out)
            *out = nullptr;
        return NotSupported(r);
    }
    STDMETHODIMP ExecMethodAsync(const BSTR, const BSTR, long, IWbemContext*, IWbemClassObject*,
                                 IWbemObjectSink*) override {
        return WBEM_E_NOT_SUPPORTED;
    }

  private:
    HRESULT GetObjectByPath(const std::u16string& text, IWbemClassObject** object) {
        ObjectPath path;
        if (!ParseObjectPath(text, path))
            return WBEM_E_INVALID_OBJECT_PATH;
        if (!path.server.empty() && !IsLocalMachineName(path.server))
            return WBEM_E_TRANSPORT_FAILURE;
        std::shared_ptr<const NamespaceSource> source = source_;
        if (!path.ns.empty() && !kvwin::EqualsAsciiNoCase(path.ns, source_->Name())) {
            HRESULT hr = kvwmi::OpenNamespace(path.ns, source);
            if (FAILED(hr))
                return hr;
        }
        const ClassDecl* decl = source->FindClass(path.class_name);
        if (!decl)
            return WBEM_E_NOT_FOUND;
        if (path.is_class) {
            ObjectData data;
            data.source = source;
            data.decl = decl;
            data.is_class = true;
            data.server = LocalServerName();
            *object = CreateClassObject(std::move(data));
            return WBEM_S_NO_ERROR;
        }
        // An instance: the keys, all of them and nothing else, become a condition that the
        // class may answer by looking the instance up.
        PreparedQuery prepared;
        HRESULT hr = PreparePathQuery(path, source, *decl, false, prepared);
        if (FAILED(hr))
            return hr;
        prepared.text = text;
        QueryResult run = RunQuery(prepared);
        if (run.objects.empty())
            return FAILED(run.status.result) ? run.status.result : WBEM_E_NOT_FOUND;
        *object = run.objects.front().Detach();
        return WBEM_S_NO_ERROR;
    }

    ~Services() override {
        try {
            DeliveryThreads::Instance().CancelOwner(owner_, WBEM_E_CALL_CANCELLED);
        } catch (...) {
            // Out of memory while collecting the calls: they end at the next join instead.
        }
    }

    static HRESULT NotSupported(IWbemCallResult** result) {
        if (result)
            *result = nullptr;
        return WBEM_E_NOT_SUPPORTED;
    }

    static HRESULT RunToEnumerator(const PreparedQuery& prepared, long flags,
                                   IEnumWbemClassObject** result) {
        HRESULT start = prepared.source->StartResult(*prepared.decl);
        if (FAILED(start))
            return start;
        QueryResult run = RunQuery(prepared);
        *result = CreateEnumerator(std::move(run.objects), run.status.result,
                                   flags & WBEM_FLAG_FORWARD_ONLY);
        return start;
    }

    HRESULT StartDelivery(PreparedQuery prepared, IWbemObjectSink* sink) {
        HRESULT start = prepared.source->StartResult(*prepared.decl);
        if (FAILED(start))
            return start;
        auto job = std::make_shared<DeliveryJob>(owner_, sink, std::move(prepared));
        DeliveryThreads::Instance().Start(std::move(job));
        return start;
    }

    const std::shared_ptr<const NamespaceSource> source_;
    const uint64_t owner_;
    ModuleRef module_ref_;
};

}  // namespace

IWbemServices* CreateServices(std::shared_ptr<const NamespaceSource> source) {
    return new Services(std::move(source));
}

}  // namespace kvwmi
