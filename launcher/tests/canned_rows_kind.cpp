#include "canned_rows_kind.h"

#include "xml/xml_document.h"

namespace {

class CannedRowsQuery final : public CQuery {
  public:
    HRESULT Initialize(IXMLDOMElementPtr& query) override {
        return GetAttributeString(query, u"value", value_) ? S_OK : E_FAIL;
    }
    HRESULT Execute(std::u16string& output) override {
        AddRow();
        SetColumnValue(0, value_);
        GetRowsXml(output);
        return S_OK;
    }

  private:
    std::u16string value_;
};

}  // namespace

std::shared_ptr<CQuery> MakeCannedRowsQuery() {
    return std::make_shared<CannedRowsQuery>();
}
