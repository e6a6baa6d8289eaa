#include "objects.h"

#include "kvwin/ascii_case.h"
#include "win/errors.h"

namespace kvhub {

namespace {

constexpr DISPID kDispidName = 1;
constexpr const char16_t* kDefaultResourceName = u"Default";

bool IsOmitted(const VARIANT& v) {
    return v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

HRESULT ReturnText(const std::u16string& text, BSTR* out) {
    *out = SysAllocStringLen(text.data(), UINT(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

// The Name property of an automation object, or empty when it has none.
std::u16string ResourceName(IDispatch* resource) {
    if (!resource)
        return u"";
    OLECHAR name[] = u"Name";
    LPOLESTR names[] = {name};
    DISPID id = 0;
    if (FAILED(resource->GetIDsOfNames(GUID{}, names, 1, 0, &id)))
        return u"";
    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    std::u16string text;
    if (SUCCEEDED(resource->Invoke(id, GUID{}, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                   nullptr)) &&
        result.vt == VT_BSTR && result.bstrVal)
        text.assign(result.bstrVal, SysStringLen(result.bstrVal));
    VariantClear(&result);
    return text;
}

template <class T, class I>
HRESULT ReturnNew(T* object, I** out) {
    *out = object;  // the new object's one reference goes to the caller
    return S_OK;
}

}  // namespace

// ---- HubResource ----------------------------------------------------------------------------

STDMETHODIMP HubResource::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids || count == 0)
        return E_INVALIDARG;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        bool known = i == 0 && names[i] && kvwin::EqualsAsciiNoCase(names[i], u"Name");
        ids[i] = known ? kDispidName : DISPID_UNKNOWN;
        if (!known)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

STDMETHODIMP HubResource::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT*) {
    if (id != kDispidName)
        return DISP_E_MEMBERNOTFOUND;
    if (!(flags & DISPATCH_PROPERTYGET))
        return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs != 0)
        return DISP_E_BADPARAMCOUNT;
    if (!result)
        return S_OK;
    return kvwin::GuardComCall([&] {
        VariantInit(result);
        result->vt = VT_BSTR;
        return ReturnText(name_, &result->bstrVal);
    });
}

// ---- HubEvent -------------------------------------------------------------------------------

STDMETHODIMP HubEvent::SetEventGuid(BSTR id) {
    if (!id)
        return E_INVALIDARG;
    return kvwin::GuardComCall([&] {
        std::lock_guard hold(model_->lock);
        model_->guid.assign(id, SysStringLen(id));
        return S_OK;
    });
}

STDMETHODIMP HubEvent::GetDefaultResource(IDispatch** resource) {
    if (!resource)
        return E_POINTER;
    *resource = nullptr;
    return kvwin::GuardComCall(
        [&] { return ReturnNew(new HubResource(kDefaultResourceName), resource); });
}

STDMETHODIMP HubEvent::AddDataBlock(VARIANT name, VARIANT resource, IHubDataBlock** block) {
    if (!block)
        return E_POINTER;
    *block = nullptr;
    if (name.vt != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    if (SysStringLen(name.bstrVal) == 0)
        return E_INVALIDARG;
    if (resource.vt != VT_DISPATCH && !IsOmitted(resource))
        return DISP_E_TYPEMISMATCH;
    return kvwin::GuardComCall([&] {
        HubBlock added;
        added.data_class.assign(name.bstrVal, SysStringLen(name.bstrVal));
        // Read before taking the lock: the resource may be any automation object.
        added.resource_name = resource.vt == VT_DISPATCH ? ResourceName(resource.pdispVal) : u"";
        const size_t bytes =
            kHubBlockBytes + (added.data_class.size() + added.resource_name.size()) * 2;
        size_t index;
        {
            std::lock_guard hold(model_->lock);
            if (!model_->held.Charge(bytes))
                return E_OUTOFMEMORY;
            model_->blocks.push_back(std::move(added));
            index = model_->blocks.size() - 1;
        }
        return ReturnNew(new HubDataBlock(model_, index), block);
    });
}

STDMETHODIMP HubEvent::GetXml(BSTR* xml) {
    if (!xml)
        return E_POINTER;
    *xml = nullptr;
    return kvwin::GuardComCall([&] {
        std::u16string text;
        {
            std::lock_guard hold(model_->lock);
            text = EventXml(*model_);
        }
        return ReturnText(text, xml);
    });
}

STDMETHODIMP HubEvent::SetEventOption(LONG option) {
    std::lock_guard hold(model_->lock);
    model_->option = option;
    return S_OK;
}

// ---- HubDataBlock ---------------------------------------------------------------------------

STDMETHODIMP HubDataBlock::AddRow(VARIANT reserved, IHubDataRow** row) {
    if (!row)
        return E_POINTER;
    *row = nullptr;
    if (!IsOmitted(reserved))
        return E_INVALIDARG;
    return kvwin::GuardComCall([&] {
        size_t index;
        {
            std::lock_guard hold(model_->lock);
            if (!model_->held.Charge(kHubEntryBytes))
                return E_OUTOFMEMORY;
            auto& rows = model_->blocks[block_].rows;
            rows.emplace_back();
            index = rows.size() - 1;
        }
        return ReturnNew(new HubDataRow(model_, block_, index), row);
    });
}

STDMETHODIMP HubDataBlock::GetColumns(IHubColumnList** columns) {
    if (!columns)
        return E_POINTER;
    *columns = nullptr;
    return kvwin::GuardComCall(
        [&] { return ReturnNew(new HubColumnList(model_, block_), columns); });
}

// ---- HubColumnList --------------------------------------------------------------------------

STDMETHODIMP HubColumnList::SetColumnOption(ULONG column, LONG option) {
    return kvwin::GuardComCall([&] {
        std::lock_guard hold(model_->lock);
        auto& options = model_->blocks[block_].column_options;
        if (!options.count(column) && !model_->held.Charge(kHubEntryBytes))
            return E_OUTOFMEMORY;
        options[column] = option;
        return S_OK;
    });
}

// ---- HubDataRow -----------------------------------------------------------------------------

STDMETHODIMP HubDataRow::SetValue(VARIANT column, VARIANT value) {
    return kvwin::GuardComCall([&]() -> HRESULT {
        // A column given as a 32-bit integer and a value given as text, as the collector
        // gives them, are taken as they are; anything else is converted.
        LONG column_number = 0;
        if (column.vt == VT_I4 || column.vt == VT_INT) {
            column_number = column.vt == VT_I4 ? column.lVal : column.intVal;
        } else {
            VARIANT index;
            VariantInit(&index);
            const HRESULT hr = VariantChangeType(&index, &column, 0, VT_I4);
            if (FAILED(hr))
                return hr;
            column_number = index.lVal;
        }
        if (column_number < 0)
            return E_INVALIDARG;
        const uint32_t at = static_cast<uint32_t>(column_number);
        bool clear = value.vt == VT_EMPTY || value.vt == VT_NULL;
        std::u16string text;
        if (value.vt == VT_BSTR) {
            text.assign(value.bstrVal ? value.bstrVal : u"", SysStringLen(value.bstrVal));
        } else if (!clear) {
            VARIANT asText;
            VariantInit(&asText);
            const HRESULT hr = VariantChangeType(&asText, &value, 0, VT_BSTR);
            if (FAILED(hr))
                return hr;
            text.assign(asText.bstrVal ? asText.bstrVal : u"", SysStringLen(asText.bstrVal));
            VariantClear(&asText);
        }
        std::lock_guard hold(model_->lock);
        auto& values = model_->blocks[block_].rows[row_].values;
        const auto old = values.find(at);
        const size_t old_bytes = old == values.end() ? 0 : kHubEntryBytes + old->second.size() * 2;
        const size_t new_bytes = clear ? 0 : kHubEntryBytes + text.size() * 2;
        if (!model_->held.Change(old_bytes, new_bytes))
            return E_OUTOFMEMORY;
        if (!clear)
            values[at] = std::move(text);
        else if (old != values.end())
            values.erase(old);
        return S_OK;
    });
}

}  // namespace kvhub
