// The IDispatch methods of the component's objects: they have no type information and answer
// no late-bound calls yet, so GetIDsOfNames and Invoke give E_NOTIMPL.
#pragma once

#include "node_ops.h"

namespace kvxmldom {

template <class Base>
class NoAutomation : public Base {
  public:
    using Base::Base;

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        return ops::NotImplemented(info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }
};

}  // namespace kvxmldom
