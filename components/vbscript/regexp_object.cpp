// The RegExp object and its match collections.
#include "regexp_object.h"

#include <memory>
#include <string>
#include <vector>

#include "convert.h"
#include "errors.h"
#include "interpreter.h"
#include "kvwin/dispatch_object.h"
#include "kvwin/held_memory.h"
#include "kvwin/variant_enumerator.h"
#include "module.h"
#include "regexp_engine.h"
#include "variant_conversion.h"

namespace kvvbs {
namespace {

// What one Execute or Replace may hold: match positions (4 bytes each, two per group and
// match) and the replaced text, in code units. Past them the call fails with error 7.
constexpr size_t kMaxPositions = size_t(1) << 25;
constexpr size_t kMaxReplaced = size_t(1) << 26;

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kGetOrCall = DISPATCH_PROPERTYGET | DISPATCH_METHOD;
constexpr WORD kProp = DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT;

// Script errors of a member (conversions of its arguments, pattern errors, bounds) become
// failures of the call.
template <class F>
HRESULT Guarded(kvwin::DispatchCall& call, F&& body) {
    try {
        return body();
    } catch (const ScriptError& e) {
        return call.Fail(ErrorHresult(e.number),
                         e.description.empty() ? ErrorText(e.number) : e.description);
    }
}

constexpr auto& SetLong = kvwin::SetVariantLong;

constexpr auto& SetBool = kvwin::SetVariantBool;

// The index argument of Item: a whole number within [0, count).
uint32_t ItemIndex(kvwin::DispatchCall& call, size_t count) {
    int32_t i = ToLong(FromVariant(*call.Arg(0)));
    if (i < 0 || size_t(i) >= count)
        Throw(kErrIllegalCall);
    return uint32_t(i);
}

HRESULT ReturnObjects(VARIANT* result, const std::vector<Value>& objects) {
    std::vector<_variant_t> items;
    items.reserve(objects.size());
    for (const Value& object : objects)
        items.emplace_back(object.AsObject(), true);  // a reference of the enumerator's own
    return kvwin::ReturnEnumerator(result, std::move(items));
}

// What one Execute found: the text and, per match, (start, end) of the match and of each
// group (regex::kUnset for groups that took no part). Immutable once made.
struct MatchSet {
    std::u16string text;
    uint32_t groups = 0;
    std::vector<uint32_t> positions;
    // The text and positions, charged to the bound on what objects hold for scripts while a
    // Matches collection, or a Match taken from it, keeps them.
    kvwin::HeldMemory held;

    size_t Stride() const { return 2 * (size_t(groups) + 1); }
    size_t Count() const { return positions.size() / Stride(); }
    const uint32_t* At(size_t match) const { return &positions[match * Stride()]; }
};

class SubMatchesObject final : public kvwin::DispatchObject<SubMatchesObject, IDispatch> {
  public:
    SubMatchesObject(std::shared_ptr<const MatchSet> set, size_t match)
        : set_(std::move(set)), match_(match) {}

    static std::span<const kvwin::DispatchMember<SubMatchesObject>> DispatchMembers() {
        static const kvwin::DispatchMember<SubMatchesObject> members[] = {
            {u"Item", DISPID_VALUE, kGetOrCall, 1, 1, &SubMatchesObject::Item},
            {u"Count", 1, kGet, 0, 0, &SubMatchesObject::Count},
            {u"_NewEnum", DISPID_NEWENUM, kGetOrCall, 0, 0, &SubMatchesObject::NewEnum},
        };
        return members;
    }

  private:
    ~SubMatchesObject() override = default;

    // Group g's text; Empty when it took no part in the match.
    Value Group(uint32_t g) const {
        const uint32_t* p = set_->At(match_) + 2 * (size_t(g) + 1);
        if (p[0] == regex::kUnset)
            return Value();
        return Value::String(std::u16string_view(set_->text).substr(p[0], p[1] - p[0]));
    }
    static HRESULT Item(SubMatchesObject& self, kvwin::DispatchCall& call) {
        return Guarded(call, [&] {
            uint32_t g = ItemIndex(call, self.set_->groups);
            if (call.Result())
                ToVariant(self.Group(g), call.Result());
            return S_OK;
        });
    }
    static HRESULT Count(SubMatchesObject& self, kvwin::DispatchCall& call) {
        return SetLong(call.Result(), int32_t(self.set_->groups));
    }
    static HRESULT NewEnum(SubMatchesObject& self, kvwin::DispatchCall& call) {
        std::vector<_variant_t> items(self.set_->groups);
        for (uint32_t g = 0; g < self.set_->groups; ++g)
            ToVariant(self.Group(g), &items[g]);
        return kvwin::ReturnEnumerator(call.Result(), std::move(items));
    }

    ModuleRef module_ref_;
    std::shared_ptr<const MatchSet> set_;
    size_t match_;
};

class MatchObject final : public kvwin::DispatchObject<MatchObject, IDispatch> {
  public:
    MatchObject(std::shared_ptr<const MatchSet> set, size_t match)
        : set_(std::move(set)), match_(match) {}

    static std::span<const kvwin::DispatchMember<MatchObject>> DispatchMembers() {
        static const kvwin::DispatchMember<MatchObject> members[] = {
            {u"Value", DISPID_VALUE, kGet, 0, 0, &MatchObject::ValueOf},
            {u"FirstIndex", 10001, kGet, 0, 0, &MatchObject::FirstIndex},
            {u"Length", 10002, kGet, 0, 0, &MatchObject::Length},
            {u"SubMatches", 10003, kGet, 0, 0, &MatchObject::SubMatches},
        };
        return members;
    }

  private:
    ~MatchObject() override = default;

    static HRESULT ValueOf(MatchObject& self, kvwin::DispatchCall& call) {
        const uint32_t* p = self.set_->At(self.match_);
        return kvwin::SetVariantText(
            call.Result(), std::u16string_view(self.set_->text).substr(p[0], p[1] - p[0]));
    }
    static HRESULT FirstIndex(MatchObject& self, kvwin::DispatchCall& call) {
        return SetLong(call.Result(), int32_t(self.set_->At(self.match_)[0]));
    }
    static HRESULT Length(MatchObject& self, kvwin::DispatchCall& call) {
        const uint32_t* p = self.set_->At(self.match_);
        return SetLong(call.Result(), int32_t(p[1] - p[0]));
    }
    static HRESULT SubMatches(MatchObject& self, kvwin::DispatchCall& call) {
        if (!self.sub_matches_.IsObject())
            self.sub_matches_ = Value::AttachObject(new SubMatchesObject(self.set_, self.match_));
        if (call.Result()) {
            call.Result()->vt = VT_DISPATCH;
            call.Result()->pdispVal = self.sub_matches_.AsObject();
            call.Result()->pdispVal->AddRef();
        }
        return S_OK;
    }

    ModuleRef module_ref_;
    std::shared_ptr<const MatchSet> set_;
    size_t match_;
    Value sub_matches_;  // made at first use, the same object afterwards
};

class MatchesObject final : public kvwin::DispatchObject<MatchesObject, IDispatch> {
  public:
    explicit MatchesObject(std::shared_ptr<const MatchSet> set)
        : set_(std::move(set)), made_(set_->Count()) {}

    static std::span<const kvwin::DispatchMember<MatchesObject>> DispatchMembers() {
        static const kvwin::DispatchMember<MatchesObject> members[] = {
            {u"Item", DISPID_VALUE, kGetOrCall, 1, 1, &MatchesObject::Item},
            {u"Count", 1, kGet, 0, 0, &MatchesObject::Count},
            {u"_NewEnum", DISPID_NEWENUM, kGetOrCall, 0, 0, &MatchesObject::NewEnum},
        };
        return members;
    }

  private:
    ~MatchesObject() override = default;

    // Match i, made at first use so that a large Execute costs no objects until asked.
    const Value& MatchAt(size_t i) {
        if (!made_[i].IsObject())
            made_[i] = Value::AttachObject(new MatchObject(set_, i));
        return made_[i];
    }
    static HRESULT Item(MatchesObject& self, kvwin::DispatchCall& call) {
        return Guarded(call, [&] {
            const Value& m = self.MatchAt(ItemIndex(call, self.made_.size()));
            if (call.Result()) {
                call.Result()->vt = VT_DISPATCH;
                call.Result()->pdispVal = m.AsObject();
                m.AsObject()->AddRef();
            }
            return S_OK;
        });
    }
    static HRESULT Count(MatchesObject& self, kvwin::DispatchCall& call) {
        return SetLong(call.Result(), int32_t(self.made_.size()));
    }
    static HRESULT NewEnum(MatchesObject& self, kvwin::DispatchCall& call) {
        for (size_t i = 0; i < self.made_.size(); ++i)
            self.MatchAt(i);
        return ReturnObjects(call.Result(), self.made_);
    }

    ModuleRef module_ref_;
    std::shared_ptr<const MatchSet> set_;
    std::vector<Value> made_;
};

class RegExpObject final : public kvwin::DispatchObject<RegExpObject, IDispatch> {
  public:
    static std::span<const kvwin::DispatchMember<RegExpObject>> DispatchMembers() {
        static const kvwin::DispatchMember<RegExpObject> members[] = {
            {u"Pattern", 10001, kProp, 0, 0, &RegExpObject::PatternText},
            {u"IgnoreCase", 10002, kProp, 0, 0, &RegExpObject::IgnoreCase},
            {u"Global", 10003, kProp, 0, 0, &RegExpObject::Global},
            {u"Execute", 10004, DISPATCH_METHOD, 1, 1, &RegExpObject::Execute},
            {u"Test", 10005, DISPATCH_METHOD, 1, 1, &RegExpObject::Test},
            {u"Replace", 10006, DISPATCH_METHOD, 2, 2, &RegExpObject::Replace},
            {u"Multiline", 10007, kProp, 0, 0, &RegExpObject::Multiline},
        };
        return members;
    }

  private:
    ~RegExpObject() override = default;

    static HRESULT PatternText(RegExpObject& self, kvwin::DispatchCall& call) {
        return Guarded(call, [&] {
            if (!call.IsPut())
                return kvwin::SetVariantText(call.Result(), self.pattern_);
            self.pattern_ = ToText(FromVariant(*call.PutValue()));
            self.compiled_.reset();
            return S_OK;
        });
    }
    static HRESULT Flag(RegExpObject& self, kvwin::DispatchCall& call, bool& flag, bool recompile) {
        return Guarded(call, [&] {
            if (!call.IsPut())
                return SetBool(call.Result(), flag);
            bool value = ToBool(FromVariant(*call.PutValue()));
            if (recompile && value != flag)
                self.compiled_.reset();
            flag = value;
            return S_OK;
        });
    }
    static HRESULT IgnoreCase(RegExpObject& self, kvwin::DispatchCall& call) {
        return Flag(self, call, self.options_.ignore_case, true);
    }
    static HRESULT Multiline(RegExpObject& self, kvwin::DispatchCall& call) {
        return Flag(self, call, self.options_.multiline, true);
    }
    static HRESULT Global(RegExpObject& self, kvwin::DispatchCall& call) {
        return Flag(self, call, self.global_, false);
    }

    regex::Pattern& Compiled() {
        if (!compiled_)
            compiled_ = regex::Pattern::Compile(pattern_, options_);
        return *compiled_;
    }

    static std::u16string TextArg(kvwin::DispatchCall& call, UINT i) {
        const VARIANT* v = call.Arg(i);
        if (v && v->vt == VT_BSTR)  // the common case, without an intermediate copy
            return v->bstrVal ? std::u16string(v->bstrVal, SysStringLen(v->bstrVal))
                              : std::u16string();
        return v ? ToText(FromVariant(*v)) : std::u16string();
    }

    // Every match (Global) or the first, into set.
    void Collect(MatchSet& set) {
        regex::Pattern& pattern = Compiled();
        set.groups = pattern.GroupCount();
        regex::Pattern::Search search(pattern, Runtime::RunningStopFlag());
        size_t at = 0;
        const size_t stride = set.Stride();
        while (at <= set.text.size() && search.FindAppend(set.text, at, set.positions)) {
            if (!global_)
                break;
            if (set.positions.size() > kMaxPositions)
                Throw(kErrOutOfMemory);
            const uint32_t* p = &set.positions[set.positions.size() - stride];
            // After an empty match the next search starts one character on.
            at = p[1] > p[0] ? p[1] : size_t(p[1]) + 1;
        }
    }

    static HRESULT Execute(RegExpObject& self, kvwin::DispatchCall& call) {
        return Guarded(call, [&] {
            auto set = std::make_shared<MatchSet>();
            set->text = TextArg(call, 0);
            self.Collect(*set);
            if (!set->held.Charge(set->text.capacity() * sizeof(char16_t) +
                                  set->positions.capacity() * sizeof(uint32_t)))
                Throw(kErrOutOfMemory);
            if (call.Result()) {
                call.Result()->pdispVal = new MatchesObject(std::move(set));  // may throw
                call.Result()->vt = VT_DISPATCH;
            }
            return S_OK;
        });
    }

    static HRESULT Test(RegExpObject& self, kvwin::DispatchCall& call) {
        return Guarded(call, [&] {
            std::u16string text = TextArg(call, 0);
            regex::Pattern::Search search(self.Compiled(), Runtime::RunningStopFlag());
            std::vector<uint32_t> found;
            return SetBool(call.Result(), search.Find(text, 0, found));
        });
    }

    // The replacement for one match: $1..$99 (groups that exist), $&, $`, $', $$; any
    // other '$' is itself.
    static void Substitute(std::u16string& out, std::u16string_view with, std::u16string_view text,
                           const uint32_t* p, uint32_t groups) {
        for (size_t i = 0; i < with.size(); ++i) {
            if (out.size() > kMaxReplaced)
                Throw(kErrOutOfMemory);
            char16_t c = with[i];
            if (c != u'$' || i + 1 >= with.size()) {
                out += c;
                continue;
            }
            char16_t n = with[i + 1];
            if (n == u'$') {
                out += u'$';
                ++i;
            } else if (n == u'&') {
                out.append(text.substr(p[0], p[1] - p[0]));
                ++i;
            } else if (n == u'`') {
                out.append(text.substr(0, p[0]));
                ++i;
            } else if (n == u'\'') {
                out.append(text.substr(p[1]));
                ++i;
            } else if (n >= u'0' && n <= u'9') {
                uint32_t g = uint32_t(n - u'0');
                size_t used = 1;
                if (i + 2 < with.size() && with[i + 2] >= u'0' && with[i + 2] <= u'9') {
                    uint32_t two = g * 10 + uint32_t(with[i + 2] - u'0');
                    if (two >= 1 && two <= groups) {
                        g = two;
                        used = 2;
                    }
                }
                if (g < 1 || g > groups) {
                    out += c;
                    continue;
                }
                const uint32_t* q = p + 2 * g;
                if (q[0] != regex::kUnset)
                    out.append(text.substr(q[0], q[1] - q[0]));
                i += used;
            } else {
                out += c;
            }
        }
    }

    static HRESULT Replace(RegExpObject& self, kvwin::DispatchCall& call) {
        return Guarded(call, [&] {
            MatchSet set;
            set.text = TextArg(call, 0);
            std::u16string with = TextArg(call, 1);
            self.Collect(set);
            std::u16string out;
            size_t copied = 0;
            for (size_t m = 0; m < set.Count(); ++m) {
                const uint32_t* p = set.At(m);
                out.append(set.text, copied, p[0] - copied);
                Substitute(out, with, set.text, p, set.groups);
                copied = p[1];
            }
            out.append(set.text, copied);
            if (out.size() > kMaxReplaced)
                Throw(kErrOutOfMemory);
            return kvwin::SetVariantText(call.Result(), out);
        });
    }

    ModuleRef module_ref_;
    std::u16string pattern_;
    regex::Options options_;
    bool global_ = false;
    std::unique_ptr<regex::Pattern> compiled_;
};

}  // namespace

IDispatch* CreateRegExpObject() {
    return new (std::nothrow) RegExpObject();
}

HRESULT CreateRegExpInstance(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<RegExpObject>(outer, riid, ppv);
}

}  // namespace kvvbs
