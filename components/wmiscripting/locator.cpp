// WbemScripting.SWbemLocator and WbemScripting.SWbemDateTime.
//
// ConnectServer connects to a namespace of this machine (the server "", ".", "localhost" or
// the computer's own name; any other fails as an unreachable server does, 0x800706BA). User,
// password, locale and authority are accepted and not used: the calls run as the process.
// Security_ holds ImpersonationLevel and AuthenticationLevel as scripts set them.
//
// SWbemDateTime holds a CIM datetime "yyyymmddHHMMSS.mmmmmmsUUU" (UUU the offset from UTC in
// minutes) and converts it to and from automation dates, in local time or as written.
#include <ctime>
#include <span>

#include "kvwin/ascii_case.h"
#include "kvwin/civil_time.h"
#include "kvwin/dispatch_object.h"
#include "kvwin/utf.h"
#include "win/sysinfo.h"
#include "wmiscripting.h"

namespace kvwmiscript {
namespace {

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kMethod = DISPATCH_METHOD;
constexpr HRESULT kInvalidSyntax = HRESULT(0x80041021);
constexpr HRESULT kInvalidParameter = HRESULT(0x80041008);
constexpr HRESULT kServerUnavailable = HRESULT(0x800706BA);

bool LongOf(const VARIANT* v, long& out) {
    _variant_t n;
    if (!v || FAILED(VariantChangeType(&n, v, 0, VT_I4)))
        return false;
    out = n.lVal;
    return true;
}

constexpr auto& PutLong = kvwin::SetVariantLong;

constexpr auto& PutObject = kvwin::ReturnObject;

// A property holding a whole number in [kLow, kHigh]: gives it, or takes a new value (anything
// that converts to VT_I4) and refuses one out of range.
template <class Self, long Self::*kField, long kLow, long kHigh>
HRESULT RangedLong(Self& self, kvwin::DispatchCall& call) {
    if (!call.IsPut())
        return PutLong(call.Result(), self.*kField);
    long n = 0;
    if (!LongOf(call.PutValue(), n) || n < kLow || n > kHigh)
        return call.Fail(kInvalidParameter, WbemErrorText(kInvalidParameter));
    self.*kField = n;
    return S_OK;
}

// SWbemSecurity: the settings a script makes before it connects.
class Security final : public kvwin::DispatchObject<Security, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemSecurity"; }
    static std::span<const kvwin::DispatchMember<Security>> DispatchMembers() {
        static const kvwin::DispatchMember<Security> members[] = {
            {u"ImpersonationLevel", 1, kGet | kPut, 0, 0,
             &RangedLong<Security, &Security::impersonation_, 1, 4>},
            {u"AuthenticationLevel", 2, kGet | kPut, 0, 0,
             &RangedLong<Security, &Security::authentication_, 0, 6>},
        };
        return members;
    }
    std::u16string_view ErrorSource() const override { return u"SWbemSecurity"; }

  private:
    ~Security() override = default;
    long impersonation_ = 3;   // impersonate
    long authentication_ = 4;  // packet
    ModuleRef module_ref_;
};

bool IsThisMachine(std::u16string_view server) {
    if (server.empty() || server == u"." || kvwin::EqualsAsciiNoCase(server, u"localhost"))
        return true;
    WCHAR name[256];
    DWORD size = 256;
    return GetComputerNameW(name, &size) &&
           kvwin::EqualsAsciiNoCase(server, std::u16string_view(name, size));
}

class Locator final : public kvwin::DispatchObject<Locator, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemLocator"; }
    Locator() : security_(new Security()) {}
    static std::span<const kvwin::DispatchMember<Locator>> DispatchMembers() {
        static const kvwin::DispatchMember<Locator> members[] = {
            // ConnectServer([server [, namespace [, user [, password [, locale [, authority
            //               [, flags [, context]]]]]]]])
            {u"ConnectServer", 1, kMethod, 0, 8, &Locator::ConnectServer},
            {u"Security_", 2, kGet, 0, 0, &Locator::GetSecurity},
        };
        return members;
    }
    std::u16string_view ErrorSource() const override { return u"SWbemLocator"; }

    static HRESULT ConnectServer(Locator&, kvwin::DispatchCall& call) {
        std::u16string server = TextArg(call.Arg(0));
        std::u16string name_space = TextArg(call.Arg(1));
        while (server.size() > 2 && server.rfind(u"\\\\", 0) == 0)
            server.erase(0, 2);
        if (!IsThisMachine(server))
            return FailCall(call, kServerUnavailable, u"ConnectServer", server);
        for (auto& c : name_space) {
            if (c == u'/')
                c = u'\\';
        }
        if (name_space.empty())
            name_space = u"root\\cimv2";
        IWbemServicesPtr services;
        HRESULT hr = ConnectNamespace(name_space, &services);
        if (FAILED(hr))
            return FailCall(call, hr, u"ConnectServer", name_space);
        return PutObject(call.Result(), NewServices(services, name_space));
    }
    static HRESULT GetSecurity(Locator& self, kvwin::DispatchCall& call) {
        self.security_->AddRef();
        return PutObject(call.Result(), self.security_);
    }

  private:
    ~Locator() override { security_->Release(); }
    Security* security_;
    ModuleRef module_ref_;
};

// ---- SWbemDateTime --------------------------------------------------------------------------

class DateTime final : public kvwin::DispatchObject<DateTime, IDispatch> {
  public:
    std::u16string_view TypeName() const override { return u"SWbemDateTime"; }
    static std::span<const kvwin::DispatchMember<DateTime>> DispatchMembers() {
        static const kvwin::DispatchMember<DateTime> members[] = {
            {u"Value", 0, kGet | kPut, 0, 0, &DateTime::Value},
            {u"Year", 1, kGet | kPut, 0, 0, &RangedLong<DateTime, &DateTime::year_, 0, 9999>},
            {u"Month", 3, kGet | kPut, 0, 0, &RangedLong<DateTime, &DateTime::month_, 1, 12>},
            {u"Day", 5, kGet | kPut, 0, 0, &RangedLong<DateTime, &DateTime::day_, 1, 31>},
            {u"Hours", 7, kGet | kPut, 0, 0, &RangedLong<DateTime, &DateTime::hours_, 0, 23>},
            {u"Minutes", 9, kGet | kPut, 0, 0, &RangedLong<DateTime, &DateTime::minutes_, 0, 59>},
            {u"Seconds", 11, kGet | kPut, 0, 0, &RangedLong<DateTime, &DateTime::seconds_, 0, 60>},
            {u"Microseconds", 13, kGet | kPut, 0, 0,
             &RangedLong<DateTime, &DateTime::micro_, 0, 999999>},
            {u"UTC", 15, kGet | kPut, 0, 0, &RangedLong<DateTime, &DateTime::utc_, -720, 720>},
            {u"IsInterval", 18, kGet, 0, 0, &DateTime::IsInterval},
            {u"GetVarDate", 19, kMethod, 0, 1, &DateTime::GetVarDate},
            {u"SetVarDate", 20, kMethod, 1, 2, &DateTime::SetVarDate},
        };
        return members;
    }
    std::u16string_view ErrorSource() const override { return u"SWbemDateTime"; }

    std::u16string Text() const {
        char buffer[64];
        snprintf(buffer, sizeof buffer, "%04ld%02ld%02ld%02ld%02ld%02ld.%06ld%c%03ld", year_,
                 month_, day_, hours_, minutes_, seconds_, micro_, utc_ < 0 ? '-' : '+',
                 utc_ < 0 ? -utc_ : utc_);
        return kvwin::FromUtf8(buffer);
    }

    static HRESULT Value(DateTime& self, kvwin::DispatchCall& call) {
        if (!call.IsPut())
            return kvwin::SetVariantText(call.Result(), self.Text());
        std::u16string text = TextArg(call.PutValue());
        long f[8] = {};
        const int widths[8] = {4, 2, 2, 2, 2, 2, 0, 6};
        size_t at = 0;
        bool good = text.size() == 25 && text[14] == u'.' && (text[21] == u'+' || text[21] == u'-');
        for (int i = 0; good && i < 8; ++i) {
            if (i == 6) {
                at = 15;
                continue;
            }
            for (int k = 0; k < widths[i]; ++k, ++at) {
                if (text[at] < u'0' || text[at] > u'9') {
                    good = false;
                    break;
                }
                f[i] = f[i] * 10 + (text[at] - u'0');
            }
        }
        long offset = 0;
        for (size_t k = 22; good && k < 25; ++k) {
            if (text[k] < u'0' || text[k] > u'9')
                good = false;
            else
                offset = offset * 10 + (text[k] - u'0');
        }
        if (!good || f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] > 23 || f[4] > 59 ||
            f[5] > 60)
            return call.Fail(kInvalidSyntax, WbemErrorText(kInvalidSyntax));
        self.year_ = f[0];
        self.month_ = f[1];
        self.day_ = f[2];
        self.hours_ = f[3];
        self.minutes_ = f[4];
        self.seconds_ = f[5];
        self.micro_ = f[7];
        self.utc_ = text[21] == u'-' ? -offset : offset;
        return S_OK;
    }
    static HRESULT IsInterval(DateTime&, kvwin::DispatchCall& call) {
        return kvwin::SetVariantBool(call.Result(), false);
    }
    // GetVarDate([local = true]): the moment as an automation date, in this machine's local
    // time, or in the value's own time when local is false.
    static HRESULT GetVarDate(DateTime& self, kvwin::DispatchCall& call) {
        bool local = true;
        if (call.Arg(0)) {
            long n = 0;
            if (!LongOf(call.Arg(0), n))
                return call.Fail(kInvalidParameter, WbemErrorText(kInvalidParameter));
            local = n != 0;
        }
        int64_t days = kvwin::DaysFromCivil(self.year_, unsigned(self.month_), unsigned(self.day_));
        int64_t seconds = days * 86400 + self.hours_ * 3600 + self.minutes_ * 60 + self.seconds_;
        if (local) {
            const time_t utc = time_t(seconds - self.utc_ * 60);
            struct tm t {};
            localtime_r(&utc, &t);
            seconds = utc + t.tm_gmtoff;
        }
        const int64_t epoch = kvwin::DaysFromCivil(1899, 12, 30);
        const double whole = double(kvwin::FloorDiv(seconds, 86400) - epoch);
        const double fraction =
            (double(seconds - kvwin::FloorDiv(seconds, 86400) * 86400) + self.micro_ / 1e6) /
            86400.0;
        if (call.Result()) {
            call.Result()->vt = VT_DATE;
            call.Result()->date = whole >= 0 ? whole + fraction : whole - fraction;
        }
        return S_OK;
    }
    // SetVarDate(date [, local = true]): the date, taken as local time (its offset becomes
    // UTC) or as it is with offset 0.
    static HRESULT SetVarDate(DateTime& self, kvwin::DispatchCall& call) {
        _variant_t date;
        if (!call.Arg(0) || FAILED(VariantChangeType(&date, call.Arg(0), 0, VT_DATE)))
            return call.Fail(kInvalidParameter, WbemErrorText(kInvalidParameter));
        bool local = true;
        if (call.Arg(1)) {
            long n = 0;
            if (!LongOf(call.Arg(1), n))
                return call.Fail(kInvalidParameter, WbemErrorText(kInvalidParameter));
            local = n != 0;
        }
        double d = date.date;
        double day = d >= 0 ? double(int64_t(d)) : double(int64_t(d));
        double fraction = d >= 0 ? d - day : day - d;
        const int64_t epoch = kvwin::DaysFromCivil(1899, 12, 30);
        int64_t total_ms =
            int64_t((int64_t(day) + epoch) * 86400000.0 + fraction * 86400000.0 + 0.5);
        int64_t seconds = kvwin::FloorDiv(total_ms, 1000);
        long offset = 0;
        if (local) {
            struct tm t {};
            time_t guess = time_t(seconds);
            gmtime_r(&guess, &t);
            t.tm_isdst = -1;
            time_t utc = mktime(&t);  // the local wall time taken back to UTC
            struct tm check {};
            localtime_r(&utc, &check);
            offset = long(check.tm_gmtoff / 60);
        }
        const auto civil = kvwin::CivilFromDays(kvwin::FloorDiv(seconds, 86400));
        const int64_t rest = seconds - kvwin::FloorDiv(seconds, 86400) * 86400;
        self.year_ = long(civil.year);
        self.month_ = long(civil.month);
        self.day_ = long(civil.day);
        self.hours_ = long(rest / 3600);
        self.minutes_ = long(rest / 60 % 60);
        self.seconds_ = long(rest % 60);
        self.micro_ = long((total_ms - seconds * 1000) * 1000);
        self.utc_ = offset;
        return S_OK;
    }

  private:
    ~DateTime() override = default;
    long year_ = 0, month_ = 1, day_ = 1, hours_ = 0, minutes_ = 0, seconds_ = 0, micro_ = 0,
         utc_ = 0;
    ModuleRef module_ref_;
};

template <class T>
HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer)
        return CLASS_E_NOAGGREGATION;
    auto* object = new T();
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

}  // namespace

HRESULT CreateLocator(IUnknown* outer, REFIID riid, void** ppv) {
    return Create<Locator>(outer, riid, ppv);
}

HRESULT CreateDateTime(IUnknown* outer, REFIID riid, void** ppv) {
    return Create<DateTime>(outer, riid, ppv);
}

}  // namespace kvwmiscript
