// The component's COM objects. Each holds the event's model (shared) and the position of
// what it stands for; every method takes the model's lock.
#pragma once

#include <memory>

#include "event_model.h"
#include "hubevent/hub_event.h"
#include "kvwin/com_object.h"
#include "kvwin/component_module.h"
#include "kvwin/dispatch_object.h"

namespace kvhub {

using ModelPtr = std::shared_ptr<HubEventModel>;

// The default resource: an automation object with one read-only property, Name.
class HubResource final : public kvwin::UntypedDispatch<IDispatch> {
  public:
    explicit HubResource(std::u16string name) : name_(std::move(name)) {}
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override;

  private:
    ~HubResource() override = default;
    std::u16string name_;
    kvwin::ModuleRef module_ref_;
};

class HubEvent final : public kvwin::ComObject<IZorHubEvent> {
  public:
    HubEvent() : model_(std::make_shared<HubEventModel>()) {}
    STDMETHODIMP SetEventGuid(BSTR id) override;
    STDMETHODIMP GetDefaultResource(IDispatch** resource) override;
    STDMETHODIMP AddDataBlock(VARIANT name, VARIANT resource, IHubDataBlock** block) override;
    STDMETHODIMP GetXml(BSTR* xml) override;
    STDMETHODIMP SetEventOption(LONG option) override;

  private:
    ~HubEvent() override = default;
    ModelPtr model_;
    kvwin::ModuleRef module_ref_;
};

class HubDataBlock final : public kvwin::ComObject<IHubDataBlock> {
  public:
    HubDataBlock(ModelPtr model, size_t block) : model_(std::move(model)), block_(block) {}
    STDMETHODIMP AddRow(VARIANT reserved, IHubDataRow** row) override;
    STDMETHODIMP GetColumns(IHubColumnList** columns) override;

  private:
    ~HubDataBlock() override = default;
    ModelPtr model_;
    size_t block_;
    kvwin::ModuleRef module_ref_;
};

class HubColumnList final : public kvwin::ComObject<IHubColumnList> {
  public:
    HubColumnList(ModelPtr model, size_t block) : model_(std::move(model)), block_(block) {}
    STDMETHODIMP SetColumnOption(ULONG column, LONG option) override;

  private:
    ~HubColumnList() override = default;
    ModelPtr model_;
    size_t block_;
    kvwin::ModuleRef module_ref_;
};

class HubDataRow final : public kvwin::ComObject<IHubDataRow> {
  public:
    HubDataRow(ModelPtr model, size_t block, size_t row)
        : model_(std::move(model)), block_(block), row_(row) {}
    STDMETHODIMP SetValue(VARIANT column, VARIANT value) override;

  private:
    ~HubDataRow() override = default;
    ModelPtr model_;
    size_t block_;
    size_t row_;
    kvwin::ModuleRef module_ref_;
};

}  // namespace kvhub
