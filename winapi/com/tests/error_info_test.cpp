// Error objects per thread, _com_error, and raising errors with the error object.
#include <gtest/gtest.h>

#include <thread>

#include "com_test_support.h"
#include "kvwin/com_error_text.h"
#include "win/comdef.h"

_COM_SMARTPTR_TYPEDEF(ITestCounter, __uuidof(ITestCounter));
_COM_SMARTPTR_TYPEDEF(ITestNamed, __uuidof(ITestNamed));

namespace {

using comtest::RefCount;
using comtest::Text;

constexpr GUID kSomeGuid = kvwin::GuidFromLiteral("71D3C0E9-2A4B-4C5D-8E6F-102030405060");

// An error object that reports its destruction, with fixed fields.
class TrackedError final : public kvwin::ComObject<IErrorInfo> {
  public:
    explicit TrackedError(bool* destroyed) : destroyed_(destroyed) {}
    STDMETHODIMP GetGUID(GUID* guid) override {
        *guid = kSomeGuid;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* text) override { return Put(u"Tracker", text); }
    STDMETHODIMP GetDescription(BSTR* text) override { return Put(u"out of paper", text); }
    STDMETHODIMP GetHelpFile(BSTR* text) override { return Put(u"C:\\help.chm", text); }
    STDMETHODIMP GetHelpContext(DWORD* context) override {
        *context = 42;
        return S_OK;
    }

  private:
    ~TrackedError() override { *destroyed_ = true; }
    static HRESULT Put(const WCHAR* value, BSTR* out) {
        *out = SysAllocString(value);
        return S_OK;
    }
    bool* destroyed_;
};

IErrorInfo* NewErrorObject(const WCHAR* description) {
    ICreateErrorInfo* create = nullptr;
    EXPECT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(description));
    IErrorInfo* info = nullptr;
    EXPECT_EQ(create->QueryInterface(IID_PPV_ARGS(&info)), S_OK);
    create->Release();
    return info;
}

TEST(ErrorInfo, ThreadSlotHandsOverReplacesAndClears) {
    IErrorInfo* first = NewErrorObject(u"first");
    EXPECT_EQ(SetErrorInfo(0, first), S_OK);
    EXPECT_EQ(RefCount(first), 2u);  // the slot holds its own reference
    IErrorInfo* got = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &got), S_OK);
    EXPECT_EQ(got, first);
    EXPECT_EQ(got->Release(), 1u);              // the slot's reference came with it
    EXPECT_EQ(GetErrorInfo(0, &got), S_FALSE);  // and the slot is empty now
    EXPECT_EQ(got, nullptr);

    // Setting again releases the object it replaces; null clears.
    bool destroyed = false;
    IErrorInfo* tracked = new TrackedError(&destroyed);
    EXPECT_EQ(SetErrorInfo(0, tracked), S_OK);
    tracked->Release();
    EXPECT_EQ(SetErrorInfo(0, first), S_OK);
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(SetErrorInfo(0, nullptr), S_OK);
    EXPECT_EQ(RefCount(first), 1u);
    EXPECT_EQ(SetErrorInfo(1, first), E_INVALIDARG);

    // The slot belongs to the thread.
    EXPECT_EQ(SetErrorInfo(0, first), S_OK);
    HRESULT elsewhere = E_FAIL;
    std::thread([&] {
        IErrorInfo* seen = nullptr;
        elsewhere = GetErrorInfo(0, &seen);
    }).join();
    EXPECT_EQ(elsewhere, S_FALSE);
    EXPECT_EQ(GetErrorInfo(0, &got), S_OK);
    BSTR text = nullptr;
    EXPECT_EQ(got->GetDescription(&text), S_OK);
    EXPECT_EQ(Text(text), u"first");
    SysFreeString(text);
    got->Release();
    first->Release();
}

TEST(ErrorInfo, LastCoUninitializeFreesTheThreadsErrorObject) {
    bool destroyed = false;
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    IErrorInfo* tracked = new TrackedError(&destroyed);
    SetErrorInfo(0, tracked);
    tracked->Release();
    CoUninitialize();
    EXPECT_FALSE(destroyed);
    CoUninitialize();
    EXPECT_TRUE(destroyed);
}

TEST(ComError, OwnsItsErrorObjectAndReadsItsFields) {
    bool destroyed = false;
    IErrorInfo* tracked = new TrackedError(&destroyed);
    {
        _com_error adopted(E_FAIL, tracked);  // takes the creation reference
        EXPECT_EQ(RefCount(tracked), 1u);
        _com_error shared(E_ABORT, tracked, true);
        EXPECT_EQ(RefCount(tracked), 2u);
        {
            _com_error copy = adopted;
            EXPECT_EQ(RefCount(tracked), 3u);
            _com_error assigned(E_NOTIMPL);
            assigned = copy;
            EXPECT_EQ(assigned.Error(), E_FAIL);
            EXPECT_EQ(RefCount(tracked), 4u);
            assigned = assigned;
            EXPECT_EQ(RefCount(tracked), 4u);
        }
        EXPECT_EQ(RefCount(tracked), 2u);

        EXPECT_EQ(Text(adopted.Description()), u"out of paper");
        EXPECT_EQ(Text(adopted.Source()), u"Tracker");
        EXPECT_EQ(Text(adopted.HelpFile()), u"C:\\help.chm");
        EXPECT_EQ(adopted.HelpContext(), 42u);
        EXPECT_TRUE(adopted.GUID() == kSomeGuid);
        IErrorInfo* handed = adopted.ErrorInfo();
        EXPECT_EQ(handed, tracked);
        EXPECT_EQ(handed->Release(), 2u);
    }
    EXPECT_TRUE(destroyed);

    // Without an error object every field is empty.
    _com_error bare(E_FAIL);
    EXPECT_EQ(bare.ErrorInfo(), nullptr);
    EXPECT_TRUE(!bare.Description());
    EXPECT_EQ(bare.Description().length(), 0u);
    EXPECT_TRUE(bare.GUID() == GUID_NULL);
    EXPECT_EQ(bare.HelpContext(), 0u);
}

bool CustomText(HRESULT hr, std::u16string& text) {
    if (hr != kTestFailure)
        return false;
    text = u"The counter overflowed.\r\n";
    return true;
}

TEST(ComError, ErrorMessageForKnownCodesWCodesAndTheRest) {
    EXPECT_EQ(Text(_com_error(E_NOINTERFACE).ErrorMessage()),
              u"The object does not support the interface asked for.");
    EXPECT_EQ(Text(_com_error(DISP_E_TYPEMISMATCH).ErrorMessage()),
              u"An argument has a type that cannot be converted to the one needed.");
    EXPECT_EQ(Text(_com_error(kTestFailure).ErrorMessage()), u"IDispatch error #1");
    EXPECT_EQ(Text(_com_error(HRESULT(0x80991234L)).ErrorMessage()), u"Unknown error 0x80991234");

    EXPECT_EQ(_com_error(kTestFailure).WCode(), 1);
    EXPECT_EQ(_com_error(E_FAIL).WCode(), 0);
    EXPECT_EQ(_com_error::WCodeToHRESULT(1), kTestFailure);
    EXPECT_EQ(_com_error::WCodeToHRESULT(0xFE00), WCODE_HRESULT_LAST);
    EXPECT_EQ(_com_error::HRESULTToWCode(WCODE_HRESULT_FIRST - 1), 0);

    // The installed message table wins, without its line break; the text lives as long as
    // the error object, copies build their own.
    kvwin::HresultTextProvider previous = kvwin::SetHresultTextProvider(CustomText);
    _com_error custom(kTestFailure);
    const WCHAR* message = custom.ErrorMessage();
    EXPECT_EQ(Text(message), u"The counter overflowed.");
    EXPECT_EQ(custom.ErrorMessage(), message);
    _com_error copy = custom;
    EXPECT_EQ(Text(copy.ErrorMessage()), u"The counter overflowed.");
    kvwin::SetHresultTextProvider(previous);
}

TEST(ComError, IssueErrorExTakesTheErrorObjectOnlyWhereTheInterfaceReportsThatWay) {
    comtest::ScopedApartment apartment;
    comtest::RegisterTestServer(comtest::TestServerPath());
    ITestCounterPtr counter(kClsidTestCounter);

    // The error object comes from the server module and is taken off the thread.
    HRESULT hr = counter->Fail(u"disk on fire");
    ASSERT_EQ(hr, kTestFailure);
    try {
        _com_issue_errorex(hr, counter, __uuidof(counter));
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), kTestFailure);
        EXPECT_EQ(Text(e.Description()), u"disk on fire");
        EXPECT_EQ(Text(e.Source()), u"KvTest.Counter");
        EXPECT_TRUE(e.GUID() == __uuidof(ITestCounter));
    }
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);

    // Through an interface that does not report errors so, the error object stays.
    ITestNamedPtr named = counter;
    ASSERT_TRUE(named);
    hr = named->Fail(u"stale");
    try {
        _com_issue_errorex(hr, named, __uuidof(named));
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), kTestFailure);
        EXPECT_EQ(e.ErrorInfo(), nullptr);
        EXPECT_TRUE(!e.Description());
    }
    ASSERT_EQ(GetErrorInfo(0, &left), S_OK);
    left->Release();

    // No object at all, and plain _com_issue_error.
    EXPECT_THROW(_com_issue_errorex(E_FAIL, nullptr, IID_IUnknown), _com_error);
    try {
        _com_issue_error(E_ACCESSDENIED);
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_ACCESSDENIED);
        EXPECT_EQ(e.ErrorInfo(), nullptr);
    }
}

}  // namespace
