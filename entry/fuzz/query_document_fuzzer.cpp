// Arbitrary text as a query document. The road must never crash, leak or hang, and must
// always end in one of the driver's statuses, with a result document exactly on success.
//
// The input's bytes are read as UTF-16 code units (invalid sequences included). The real
// query kinds read the document; their Execute is replaced so that no input can make the
// fuzzer wait for a live WMI query or a script's time limit: a script query gives a fixed
// output, and a WMI query runs the WQL statement it built through the service's parser,
// binder and evaluator over a fixture class (as the service would, without a provider).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "entry/query_driver.h"
#include "entry/query_factory.h"
#include "kvwin/wide_string.h"
#include "script/script_query.h"
#include "win/com.h"
#include "win/oleauto.h"
#include "wmi/query/wmi_query.h"
#include "wql_fixture.h"

namespace {

template <class Real>
class ReadOnlyQuery final : public CQuery {
  public:
    HRESULT Initialize(IXMLDOMElementPtr& query) override { return real_.Initialize(query); }
    HRESULT Execute(WString& output) override {
        output = TEXT("<row/>");
        return S_OK;
    }

  private:
    Real real_;
};

template <>
HRESULT ReadOnlyQuery<CWMIQuery>::Execute(WString& output) {
    const int picked = kvwmi::fuzz::RunWql(real_.ActiveDefinition().query);
    if (picked < 0)
        return kWmiQueryFailed;
    output.clear();
    for (int i = 0; i < picked; ++i)
        output += TEXT("<row/>");
    return S_OK;
}

struct Setup {
    Setup()
        : script(QueryKind::Script, [] { return std::make_shared<ReadOnlyQuery<CScriptQuery>>(); }),
          wmi(QueryKind::Wmi, [] { return std::make_shared<ReadOnlyQuery<CWMIQuery>>(); }) {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    }
    ScopedQueryMaker script;
    ScopedQueryMaker wmi;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Setup setup;
    WString text(size / 2, TEXT('\0'));
    std::memcpy(text.data(), data, text.size() * 2);
    BSTR result = nullptr;
    const HRESULT hr = RunQueryDocument(text.c_str(), &result);
    if (hr == S_OK) {
        WString document(result, SysStringLen(result));
        if (document.rfind(TEXT("<result>\n"), 0) != 0 || document.size() < 18 ||
            document.compare(document.size() - 9, 9, TEXT("</result>")) != 0)
            std::abort();
        SysFreeString(result);
    } else if (result != nullptr || (hr != E_FAIL && hr != static_cast<HRESULT>(0x80041000))) {
        std::abort();
    }
    return 0;
}
