// Scripting.Dictionary: keys and items in insertion order, found through a hash table.
//
// Keys are compared by value: all numeric types (and dates) by their numeric value, texts
// exactly (CompareMode 0, binary) or without regard to case (CompareMode 1, text, and 2,
// database), objects by identity (their IUnknown), Empty and Null each as one key. A number
// and a text are different keys even when they read alike, as on Windows.
//
// The entries live in a vector in insertion order; a removed entry leaves a hole that the
// next compaction closes (when holes outnumber entries), so Remove costs no shifting and
// positions in the index stay valid until then.
//
// What the entries hold is charged to the process-wide count of script-held memory
// (kvwin/held_memory.h): a fixed cost per entry, the key's text twice (the entry and the index
// keep one each) and the item's text or array. An Add, Item or Key that would pass the bound
// fails with E_OUTOFMEMORY and leaves the dictionary as it was.
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "kvwin/dispatch_object.h"
#include "kvwin/held_memory.h"
#include "kvwin/variant_enumerator.h"
#include "scripting.h"
#include "win/comutil.h"
#include "win/text.h"

namespace kvscripting {
namespace {

// A key reduced to what decides equality.
struct KeyIdentity {
    enum Kind : int { kEmpty, kNull, kNumber, kText, kObject, kBoolean, kOther };
    Kind kind = kEmpty;
    double number = 0;
    std::u16string text;
    const void* object = nullptr;

    bool operator==(const KeyIdentity& o) const {
        return kind == o.kind && number == o.number && text == o.text && object == o.object;
    }
};

struct KeyHash {
    size_t operator()(const KeyIdentity& k) const {
        size_t h = std::hash<int>()(k.kind);
        switch (k.kind) {
            case KeyIdentity::kNumber:
            case KeyIdentity::kBoolean:
            case KeyIdentity::kOther:
                // +0 and -0 are one key; every NaN is its own (NaN equals nothing).
                h ^= std::hash<double>()(k.number == 0 ? 0.0 : k.number) * 31;
                break;
            case KeyIdentity::kText:
                h ^= std::hash<std::u16string>()(k.text) * 31;
                break;
            case KeyIdentity::kObject:
                h ^= std::hash<const void*>()(k.object) * 31;
                break;
            default:
                break;
        }
        return h;
    }
};

// The value an entry takes: a copy of what the caller passed, references followed.
// About what one entry costs beside its key and item: the entry, the index node and its hash.
constexpr size_t kEntryBytes = 128;

size_t HeldBytes(const VARIANT* value) {
    return value ? kvwin::VariantHeldBytes(*value) : 0;
}

HRESULT CopyInto(_variant_t& to, const VARIANT* from) {
    if (!from) {
        to.Clear();
        return S_OK;
    }
    return VariantCopyInd(&to, from);
}

class Dictionary final : public kvwin::DispatchObject<Dictionary, IDispatch> {
  public:
    static std::span<const kvwin::DispatchMember<Dictionary>> DispatchMembers();
    std::u16string_view ErrorSource() const override { return u"Scripting.Dictionary"; }

  private:
    struct Entry {
        _variant_t key;
        _variant_t item;
        size_t key_bytes = 0;   // charged for the key, both copies
        size_t item_bytes = 0;  // charged for the item
    };

    ~Dictionary() override = default;

    KeyIdentity Identify(const VARIANT& key) const {
        KeyIdentity id;
        const VARIANT* v = &key;
        if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
            v = v->pvarVal;
        switch (v->vt) {  // the common kinds without a conversion
            case VT_I4:
                id.kind = KeyIdentity::kNumber;
                id.number = v->lVal;
                return id;
            case VT_R8:
                id.kind = KeyIdentity::kNumber;
                id.number = v->dblVal;
                return id;
            default:
                break;
        }
        switch (v->vt & ~VT_BYREF) {
            case VT_EMPTY:
                id.kind = KeyIdentity::kEmpty;
                break;
            case VT_NULL:
                id.kind = KeyIdentity::kNull;
                break;
            case VT_BSTR: {
                id.kind = KeyIdentity::kText;
                BSTR b = (v->vt & VT_BYREF) ? *v->pbstrVal : v->bstrVal;
                id.text.assign(b ? b : u"", b ? SysStringLen(b) : 0);
                if (compare_mode_ != 0 && !id.text.empty())
                    CharLowerBuffW(id.text.data(), DWORD(id.text.size()));
                break;
            }
            case VT_DISPATCH:
            case VT_UNKNOWN: {
                id.kind = KeyIdentity::kObject;
                IUnknown* p = (v->vt & VT_BYREF) ? *v->ppunkVal : v->punkVal;
                IUnknown* identity = nullptr;
                if (p && SUCCEEDED(p->QueryInterface(IID_IUnknown,
                                                     reinterpret_cast<void**>(&identity)))) {
                    id.object = identity;
                    identity->Release();
                }
                break;
            }
            case VT_BOOL:
                id.kind = KeyIdentity::kBoolean;
                id.number = ((v->vt & VT_BYREF) ? *v->pboolVal : v->boolVal) ? 1 : 0;
                break;
            default: {
                VARIANT r8;
                VariantInit(&r8);
                if (SUCCEEDED(VariantChangeType(&r8, v, 0, VT_R8))) {
                    id.kind = KeyIdentity::kNumber;
                    id.number = r8.dblVal;
                } else {
                    id.kind = KeyIdentity::kOther;
                    id.number = v->vt;
                }
                break;
            }
        }
        return id;
    }

    Entry* Find(const VARIANT& key) {
        auto it = index_.find(Identify(key));
        return it == index_.end() ? nullptr : &*entries_[it->second];
    }

    HRESULT Insert(const VARIANT& key, const VARIANT* item) {
        Entry entry;
        entry.key_bytes = 2 * HeldBytes(&key);
        entry.item_bytes = HeldBytes(item);
        const size_t charge = kEntryBytes + entry.key_bytes + entry.item_bytes;
        if (!held_.Charge(charge))
            return E_OUTOFMEMORY;
        HRESULT hr = CopyInto(entry.key, &key);
        if (SUCCEEDED(hr))
            hr = CopyInto(entry.item, item);
        if (FAILED(hr)) {
            held_.Refund(charge);
            return hr;
        }
        index_.emplace(Identify(key), entries_.size());
        entries_.push_back(std::move(entry));
        return S_OK;
    }

    // Replaces an entry's item, charging the new one before the old one is refunded.
    HRESULT Replace(Entry& entry, const VARIANT* item) {
        const size_t bytes = HeldBytes(item);
        if (!held_.Change(entry.item_bytes, bytes))
            return E_OUTOFMEMORY;
        HRESULT hr = CopyInto(entry.item, item);
        if (FAILED(hr)) {
            held_.Change(bytes, entry.item_bytes);
            return hr;
        }
        entry.item_bytes = bytes;
        return S_OK;
    }

    void Erase(std::unordered_map<KeyIdentity, size_t, KeyHash>::iterator at) {
        const Entry& gone = *entries_[at->second];
        held_.Refund(kEntryBytes + gone.key_bytes + gone.item_bytes);
        entries_[at->second].reset();
        index_.erase(at);
        if (entries_.size() - index_.size() > index_.size() + 16)
            Compact();
    }

    // Closes the holes Remove left; the order of the entries stays.
    void Compact() {
        size_t kept = 0;
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i] && i != kept++)
                entries_[kept - 1] = std::move(entries_[i]);
        }
        entries_.resize(kept);
        Reindex();
    }

    void Reindex() {
        index_.clear();
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i])
                index_.emplace(Identify(entries_[i]->key), i);
        }
    }

    template <typename Visit>
    void ForEachEntry(Visit visit) const {
        for (const auto& e : entries_) {
            if (e)
                visit(*e);
        }
    }

    // A SAFEARRAY (VT_ARRAY | VT_VARIANT, lower bound 0) of the keys or the items.
    HRESULT ReturnArray(VARIANT* result, bool keys) {
        if (!result)
            return S_OK;
        SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, ULONG(index_.size()));
        if (!array)
            return E_OUTOFMEMORY;
        LONG i = 0;
        HRESULT hr = S_OK;
        ForEachEntry([&](const Entry& e) {
            if (SUCCEEDED(hr))
                hr = SafeArrayPutElement(
                    array, &i,
                    const_cast<VARIANT*>(static_cast<const VARIANT*>(keys ? &e.key : &e.item)));
            ++i;
        });
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            return hr;
        }
        result->vt = VT_ARRAY | VT_VARIANT;
        result->parray = array;
        return S_OK;
    }

  public:
    // ---- the members ----------------------------------------------------------------
    static HRESULT Add(Dictionary& self, kvwin::DispatchCall& call) {
        const VARIANT* key = call.Arg(0);
        if (!key)
            return call.Fail(kInvalidArgument, u"Invalid procedure call or argument");
        if (self.Find(*key))
            return call.Fail(kKeyExists,
                             u"This key is already associated with an element of this collection");
        return self.Insert(*key, call.Arg(1));
    }

    static HRESULT Exists(Dictionary& self, kvwin::DispatchCall& call) {
        const VARIANT* key = call.Arg(0);
        if (VARIANT* r = call.Result()) {
            r->vt = VT_BOOL;
            r->boolVal = key && self.Find(*key) ? VARIANT_TRUE : VARIANT_FALSE;
        }
        return S_OK;
    }

    // Item(key): reading a missing key adds it with an empty item, as on Windows.
    static HRESULT Item(Dictionary& self, kvwin::DispatchCall& call) {
        const VARIANT* key = call.Arg(0);
        if (!key)
            return call.Fail(kInvalidArgument, u"Invalid procedure call or argument");
        Entry* entry = self.Find(*key);
        if (call.IsPut()) {
            if (entry)
                return self.Replace(*entry, call.PutValue());
            return self.Insert(*key, call.PutValue());
        }
        if (!entry) {
            HRESULT hr = self.Insert(*key, nullptr);
            if (FAILED(hr))
                return hr;
            return S_OK;  // the result stays empty
        }
        return call.Result() ? VariantCopy(call.Result(), &entry->item) : S_OK;
    }

    // Key(old) = new: renames a key.
    static HRESULT Key(Dictionary& self, kvwin::DispatchCall& call) {
        const VARIANT* old_key = call.Arg(0);
        const VARIANT* new_key = call.PutValue();
        if (!old_key || !new_key)
            return call.Fail(kInvalidArgument, u"Invalid procedure call or argument");
        Entry* entry = self.Find(*old_key);
        if (!entry)
            return call.Fail(kElementNotFound, u"Element not found");
        if (Entry* clash = self.Find(*new_key); clash && clash != entry)
            return call.Fail(kKeyExists,
                             u"This key is already associated with an element of this collection");
        auto old_at = self.index_.find(self.Identify(entry->key));
        const size_t key_bytes = 2 * HeldBytes(new_key);
        if (!self.held_.Charge(key_bytes))
            return E_OUTOFMEMORY;
        HRESULT hr = CopyInto(entry->key, new_key);
        if (FAILED(hr)) {
            self.held_.Refund(key_bytes);
            return hr;
        }
        self.held_.Refund(entry->key_bytes);
        entry->key_bytes = key_bytes;
        const size_t position = old_at->second;
        self.index_.erase(old_at);
        self.index_.emplace(self.Identify(entry->key), position);
        return S_OK;
    }

    static HRESULT Remove(Dictionary& self, kvwin::DispatchCall& call) {
        const VARIANT* key = call.Arg(0);
        auto it = key ? self.index_.find(self.Identify(*key)) : self.index_.end();
        if (it == self.index_.end())
            return call.Fail(kElementNotFound, u"Element not found");
        self.Erase(it);
        return S_OK;
    }

    static HRESULT RemoveAll(Dictionary& self, kvwin::DispatchCall&) {
        self.entries_.clear();
        self.index_.clear();
        self.held_.RefundAll();
        return S_OK;
    }

    static HRESULT Count(Dictionary& self, kvwin::DispatchCall& call) {
        if (VARIANT* r = call.Result()) {
            r->vt = VT_I4;
            r->lVal = LONG(self.index_.size());
        }
        return S_OK;
    }

    static HRESULT Keys(Dictionary& self, kvwin::DispatchCall& call) {
        return self.ReturnArray(call.Result(), true);
    }
    static HRESULT Items(Dictionary& self, kvwin::DispatchCall& call) {
        return self.ReturnArray(call.Result(), false);
    }

    // 0 binary, 1 text, 2 database; only an empty dictionary may change it.
    static HRESULT CompareMode(Dictionary& self, kvwin::DispatchCall& call) {
        if (!call.IsPut()) {
            if (VARIANT* r = call.Result()) {
                r->vt = VT_I4;
                r->lVal = self.compare_mode_;
            }
            return S_OK;
        }
        VARIANT mode;
        VariantInit(&mode);
        if (!call.PutValue() || FAILED(VariantChangeType(&mode, call.PutValue(), 0, VT_I4)) ||
            mode.lVal < 0 || mode.lVal > 2 || !self.index_.empty())
            return call.Fail(kInvalidArgument, u"Invalid procedure call or argument");
        self.compare_mode_ = mode.lVal;
        return S_OK;
    }

    // _NewEnum: the keys as they are now, in insertion order.
    static HRESULT NewEnum(Dictionary& self, kvwin::DispatchCall& call) {
        if (!call.Result())
            return S_OK;
        std::vector<_variant_t> keys;
        keys.reserve(self.index_.size());
        self.ForEachEntry([&](const Entry& e) { keys.emplace_back(e.key); });
        return kvwin::ReturnEnumerator(call.Result(), std::move(keys));
    }

  private:
    kvscripting::ModuleRef module_ref_;
    std::vector<std::optional<Entry>> entries_;               // insertion order; removed ones empty
    std::unordered_map<KeyIdentity, size_t, KeyHash> index_;  // key -> position in entries_
    LONG compare_mode_ = 0;
    kvwin::HeldMemory held_;  // what the entries hold, charged to the process-wide count
};

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kMethod = DISPATCH_METHOD;

const kvwin::DispatchMember<Dictionary> kMembers[] = {
    {u"Item", DISPID_VALUE, kGet | kPut, 1, 1, &Dictionary::Item},
    {u"Add", 1, kMethod, 2, 2, &Dictionary::Add},
    {u"Count", 2, kGet, 0, 0, &Dictionary::Count},
    {u"Exists", 3, kMethod, 1, 1, &Dictionary::Exists},
    {u"Items", 4, kMethod, 0, 0, &Dictionary::Items},
    {u"Key", 5, kPut, 1, 1, &Dictionary::Key},
    {u"Keys", 6, kMethod, 0, 0, &Dictionary::Keys},
    {u"Remove", 7, kMethod, 1, 1, &Dictionary::Remove},
    {u"RemoveAll", 8, kMethod, 0, 0, &Dictionary::RemoveAll},
    {u"CompareMode", 9, kGet | kPut, 0, 0, &Dictionary::CompareMode},
    {u"_NewEnum", DISPID_NEWENUM, kGet | kMethod, 0, 0, &Dictionary::NewEnum},
};

std::span<const kvwin::DispatchMember<Dictionary>> Dictionary::DispatchMembers() {
    return kMembers;
}

}  // namespace

HRESULT CreateDictionary(IUnknown* outer, REFIID riid, void** ppv) {
    return kvwin::CreateComInstance<Dictionary>(outer, riid, ppv);
}

}  // namespace kvscripting
