// The parse error object: what the last load of a document found wrong, if anything.
#include "objects.h"

namespace kvxmldom {

namespace {

// Immutable after construction; safe from any thread.
class ParseError final : public NoAutomation<kvwin::ComObject<IXMLDOMParseError>> {
  public:
    explicit ParseError(const ParseOutcome& outcome) : outcome_(outcome) {}

    STDMETHODIMP get_errorCode(LONG* out) override { return Number(outcome_.code, out); }
    STDMETHODIMP get_url(BSTR* out) override { return ReturnText(u"", out); }
    STDMETHODIMP get_reason(BSTR* out) override { return ReturnText(outcome_.reason, out); }
    STDMETHODIMP get_srcText(BSTR* out) override { return ReturnText(outcome_.source_line, out); }
    STDMETHODIMP get_line(LONG* out) override { return Number(outcome_.line, out); }
    STDMETHODIMP get_linepos(LONG* out) override { return Number(outcome_.linepos, out); }
    STDMETHODIMP get_filepos(LONG* out) override { return Number(outcome_.filepos, out); }

  private:
    ~ParseError() override = default;

    static HRESULT Number(LONG value, LONG* out) {
        if (!out)
            return E_POINTER;
        *out = value;
        return S_OK;
    }

    ModuleRef module_ref_;
    const ParseOutcome outcome_;
};

}  // namespace

HRESULT MakeParseError(const ParseOutcome& outcome, IXMLDOMParseError** out) noexcept {
    if (!out)
        return E_POINTER;
    *out = nullptr;
    return GuardComCall([&]() -> HRESULT {
        *out = new ParseError(outcome);
        return S_OK;
    });
}

}  // namespace kvxmldom
