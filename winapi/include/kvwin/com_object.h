// Building blocks for COM objects implemented in the layer and in components.
//
//   class Counter final : public kvwin::ComObject<ICounter, ISupportErrorInfo> { ... };
//   ICounter* c = new Counter();          // starts with one reference, owned by `c`
//
// ComObject<I...> derives from every listed interface and implements IUnknown for them:
//   * the reference count is atomic, so AddRef and Release may be called from any thread;
//     the object deletes itself when the count reaches zero. An object whose last reference
//     goes while the same thread is deleting another (a collection holding the only
//     reference to the next, a script's chain of a million of them) is deleted after that
//     one, by the outermost deletion, so releasing a chain takes no stack per link;
//   * QueryInterface answers IUnknown (always through the first listed interface, so the
//     IUnknown pointer is the object's identity), each listed interface, IDispatch when a
//     listed interface derives from it, and each kvwin::AlsoAnswer<Base, Via> entry (a base
//     interface reached through the listed interface Via). Every other IID gets
//     E_NOINTERFACE with *ppv = nullptr; a null ppv gets E_POINTER. The set of answers never
//     changes, so QueryInterface is reflexive, symmetric and transitive;
//   * `new` charges the object's size to the held-memory bound (kvwin/held_memory.h) and its
//     deletion refunds it: past the bound `new T` throws std::bad_alloc and
//     `new (std::nothrow) T` gives null, so a script that keeps millions of objects fails
//     with E_OUTOFMEMORY instead of exhausting the host. An object made any other way than
//     `new` (a member, a static, make_shared) must never reach a reference count of zero.
// The rest of the object's state is the implementer's to guard.
#pragma once

#include <atomic>
#include <new>
#include <type_traits>

#include "kvwin/held_memory.h"
#include "win/com.h"

namespace kvwin {

// A base interface Base that QueryInterface answers with the object's Via pointer.
template <class Base, class Via>
struct AlsoAnswer {
    static_assert(std::is_base_of_v<Base, Via>, "Via must derive from Base");
};

namespace com_detail {

template <class Entry>
struct EntryTraits {
    using Inherit = Entry;
    static constexpr bool is_alias = false;
};
template <class Base, class Via>
struct EntryTraits<AlsoAnswer<Base, Via>> {
    using Inherit = AlsoAnswer<Base, Via>;
    static constexpr bool is_alias = true;
};

template <class First, class... Rest>
struct FirstInterface {
    using type = First;
};

// Runs destroy(object), and every deletion it sets off on this thread after it, one by one.
// One list per thread, kept by the layer for every module.
KVWIN_API void DestroyInTurn(void* object, void (*destroy)(void*)) noexcept;

}  // namespace com_detail

template <class... Entries>
class ComObject : public com_detail::EntryTraits<Entries>::Inherit..., public HeldAllocation {
    using Primary = typename com_detail::FirstInterface<Entries...>::type;
    static_assert(!com_detail::EntryTraits<Primary>::is_alias,
                  "the first entry must be an interface the object implements");

  public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        void* found = nullptr;
        if (riid == __uuidof(IUnknown)) {
            found = static_cast<IUnknown*>(static_cast<Primary*>(this));
        } else {
            ((found = found ? found : Match<Entries>(riid)), ...);
            if (!found && riid == __uuidof(IDispatch))
                ((found = found ? found : MatchDispatch<Entries>()), ...);
        }
        if (!found)
            return E_NOINTERFACE;
        static_cast<Primary*>(this)->AddRef();
        *ppv = found;
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() override {
        return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
    }

    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            com_detail::DestroyInTurn(this,
                                      [](void* self) { delete static_cast<ComObject*>(self); });
        return left;
    }

    // The object's identity as IUnknown (no reference added).
    IUnknown* Identity() { return static_cast<IUnknown*>(static_cast<Primary*>(this)); }

  protected:
    virtual ~ComObject() = default;

  private:
    template <class Entry>
    void* Match(REFIID riid) {
        if constexpr (com_detail::EntryTraits<Entry>::is_alias) {
            return MatchAlias(static_cast<Entry*>(nullptr), riid);
        } else {
            return riid == __uuidof(Entry) ? static_cast<Entry*>(this) : nullptr;
        }
    }
    template <class Base, class Via>
    void* MatchAlias(AlsoAnswer<Base, Via>*, REFIID riid) {
        return riid == __uuidof(Base) ? static_cast<Base*>(static_cast<Via*>(this)) : nullptr;
    }
    template <class Entry>
    void* MatchDispatch() {
        if constexpr (!com_detail::EntryTraits<Entry>::is_alias &&
                      std::is_base_of_v<IDispatch, Entry>) {
            return static_cast<IDispatch*>(static_cast<Entry*>(this));
        } else {
            return nullptr;
        }
    }

    std::atomic<ULONG> refs_{1};
};

// Creates a new object of a class, as a class factory and the built-in registrations do.
typedef HRESULT (*CreateInstanceFunction)(IUnknown* outer, REFIID riid, void** ppv);

// The usual creation function for a ComObject class with a default constructor: no
// aggregation, a fresh object, and the requested interface.
template <class T>
HRESULT CreateComInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    T* object = new (std::nothrow) T();
    if (!object)
        return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

// A class factory over a creation function. `lock_count` (optional) is the module's
// counter that LockServer moves, for the module's DllCanUnloadNow; it must outlive the
// factory. Thread safe.
class SimpleClassFactory final : public ComObject<IClassFactory> {
  public:
    explicit SimpleClassFactory(CreateInstanceFunction create,
                                std::atomic<long>* lock_count = nullptr)
        : create_(create), lock_count_(lock_count) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        try {
            return create_(outer, riid, ppv);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        } catch (...) {
            return E_UNEXPECTED;
        }
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock_count_)
            lock ? ++*lock_count_ : --*lock_count_;
        return S_OK;
    }

  private:
    CreateInstanceFunction create_;
    std::atomic<long>* lock_count_;
};

}  // namespace kvwin
