#include "canned_rows_kind.h"

#include "kvwin/wide_string.h"
#include "xml/xml_document.h"

namespace {

class CannedRowsQuery final : public CQuery {
  public:
    HRESULT Initialize(IXMLDOMElementPtr& query) override {
        return GetAttributeString(query, TEXT("value"), value_) ? S_OK : E_FAIL;
    }
    HRESULT Execute(WString& output) override {
        AddRow();
        SetColumnValue(0, value_);
        GetRowsXml(output);
        return S_OK;
    }

  private:
    WString value_;
};

}  // namespace

std::shared_ptr<CQuery> MakeCannedRowsQuery() {
    return std::make_shared<CannedRowsQuery>();
}
