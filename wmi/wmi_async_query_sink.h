// CWMIAsyncQuerySink: the IWbemObjectSink through which WMI delivers a query's objects and
// its final status to a CWMIAsyncQuery.
//
// Unlike the layer's ComObject helpers, the sink starts with no reference at all (the engine
// takes the first one) and its last Release sets the engine's sink-gone event before the
// sink destroys itself: that event is how the engine knows WMI will not call again.
//
// Threads: Indicate and SetStatus run on WMI's threads; the reference count is atomic and
// the objects go to the engine's queue under its queue lock. The status text and code are
// written by SetStatus only, and are to be read after WMI has released the sink.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "kvwin/wide_string.h"
#include "win/wbemcli.h"

class CWMIAsyncQuery;

class CWMIAsyncQuerySink : public IWbemObjectSink {
  public:
    // owner receives the objects and the state; sinkGone (not owned) is set when the last
    // reference goes. Both must outlive the sink.
    CWMIAsyncQuerySink(CWMIAsyncQuery* owner, HANDLE sinkGone);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Indicate(long lObjectCount, IWbemClassObject** apObjArray) override;
    HRESULT STDMETHODCALLTYPE SetStatus(long lFlags, HRESULT hResult, BSTR strParam,
                                        IWbemClassObject* pObjParam) override;

    // From the status object of a failed query: the last of "Description" and "ObjectInfo"
    // that could be read and was not null, and the last of "StatusCode" and "ErrorCode".
    int32_t StatusCode() const { return statusCode_; }
    const WString& StatusText() const { return statusText_; }

    virtual ~CWMIAsyncQuerySink();

  private:
    void ReadStatusObject(IWbemClassObject* status);

    std::atomic<uint32_t> refs_{0};
    int32_t statusCode_ = 0;
    WString statusText_;
    CWMIAsyncQuery* owner_;
    HANDLE sinkGone_;
};
