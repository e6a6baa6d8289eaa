// The IUnknown rules kvwin::ComObject objects keep, and the class-factory helpers.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "com_test_support.h"
#include "kvtest/held_memory_bound.h"
#include "kvtest/small_stack.h"

namespace {

using comtest::IAbsent;
using comtest::IOther;
using comtest::IProbe;
using comtest::Probe;
using comtest::RefCount;

struct IBase : IUnknown {
    STDMETHOD_(int, Base)() = 0;
};
struct IDerived : IBase {
    STDMETHOD_(int, Derived)() = 0;
};
struct IScriptable : IDispatch {
    STDMETHOD_(int, Script)() = 0;
};

}  // namespace

KV_DECLARE_UUID(IBase, "3C2B1A09-8F7E-4D6C-B5A4-938271605F01");
KV_DECLARE_UUID(IDerived, "3C2B1A09-8F7E-4D6C-B5A4-938271605F02");
KV_DECLARE_UUID(IScriptable, "3C2B1A09-8F7E-4D6C-B5A4-938271605F03");

namespace {

// IDerived listed, its base IBase answered through it, and a dispatch interface.
class Layered final
    : public kvwin::ComObject<IDerived, IScriptable, kvwin::AlsoAnswer<IBase, IDerived>> {
  public:
    int STDMETHODCALLTYPE Base() override { return 1; }
    int STDMETHODCALLTYPE Derived() override { return 2; }
    int STDMETHODCALLTYPE Script() override { return 3; }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }
};

template <class I>
I* Query(IUnknown* from) {
    I* out = nullptr;
    EXPECT_EQ(from->QueryInterface(__uuidof(I), reinterpret_cast<void**>(&out)), S_OK);
    return out;
}

IUnknown* IdentityOf(IUnknown* from) {
    IUnknown* unknown = Query<IUnknown>(from);
    unknown->Release();
    return unknown;
}

TEST(ComObject, QueryInterfaceIsReflexiveSymmetricTransitiveWithOneIdentity) {
    bool destroyed = false;
    IProbe* probe = new Probe(&destroyed);
    IOther* other = Query<IOther>(probe);
    ASSERT_NE(other, nullptr);
    EXPECT_NE(static_cast<void*>(other), static_cast<void*>(probe));

    // One IUnknown, whichever interface is asked.
    IUnknown* identity = IdentityOf(probe);
    EXPECT_EQ(IdentityOf(other), identity);
    EXPECT_EQ(static_cast<void*>(identity), static_cast<void*>(probe));

    // Reflexive, and back to the same pointers.
    IProbe* again = Query<IProbe>(probe);
    EXPECT_EQ(again, probe);
    IProbe* back = Query<IProbe>(other);
    EXPECT_EQ(back, probe);
    IOther* round = Query<IOther>(back);
    EXPECT_EQ(round, other);
    EXPECT_EQ(back->Tag(), 7);
    EXPECT_EQ(round->Other(), 8);

    // Refused: the out pointer is cleared, no reference taken; a null out pointer is refused.
    void* absent = &absent;
    EXPECT_EQ(other->QueryInterface(__uuidof(IAbsent), &absent), E_NOINTERFACE);
    EXPECT_EQ(absent, nullptr);
    absent = &absent;
    EXPECT_EQ(probe->QueryInterface(IID_IDispatch, &absent), E_NOINTERFACE);
    EXPECT_EQ(absent, nullptr);
    EXPECT_EQ(probe->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

    // probe + other + again + back + round.
    EXPECT_EQ(RefCount(probe), 5u);
    for (IUnknown* p : std::vector<IUnknown*>{other, again, back, round})
        p->Release();
    EXPECT_EQ(probe->Release(), 0u);
}

TEST(ComObject, BaseInterfacesAndIDispatchAnswerThroughTheirListedInterface) {
    Layered* object = new Layered();
    IDerived* derived = object;
    IBase* base = Query<IBase>(derived);
    EXPECT_EQ(static_cast<void*>(base), static_cast<void*>(static_cast<IBase*>(derived)));
    EXPECT_EQ(base->Base(), 1);
    IDispatch* dispatch = Query<IDispatch>(base);
    IScriptable* scriptable = Query<IScriptable>(dispatch);
    EXPECT_EQ(static_cast<void*>(dispatch), static_cast<void*>(scriptable));
    EXPECT_EQ(scriptable->Script(), 3);
    EXPECT_EQ(IdentityOf(scriptable), IdentityOf(base));
    EXPECT_EQ(Query<IDerived>(scriptable), derived);
    derived->Release();  // the reference Query just took
    scriptable->Release();
    dispatch->Release();
    base->Release();
    EXPECT_EQ(derived->Release(), 0u);
}

// A link of a chain: holds the only reference to the next one.
class Link final : public kvwin::ComObject<IUnknown> {
  public:
    Link(IUnknown* next, int* alive) : next_(next), alive_(alive) { ++*alive_; }

  private:
    ~Link() override {
        --*alive_;
        if (next_)
            next_->Release();
    }
    IUnknown* next_;
    int* alive_;
};

TEST(ComObject, ReleasingALongChainTakesNoStackPerLink) {
    // Each link's deletion releases the next: deleted one inside the other, a chain a script
    // can build in a loop would overflow a small thread stack.
    int alive = 0;
    ASSERT_TRUE(kvtest::RunOnSmallStack([&] {
        IUnknown* head = nullptr;
        for (int i = 0; i < 200000; ++i)
            head = new Link(head, &alive);
        EXPECT_EQ(head->Release(), 0u);
    }));
    EXPECT_EQ(alive, 0);
}

TEST(ComObject, CountHoldsUnderConcurrentAddRefAndRelease) {
    bool destroyed = false;
    IProbe* probe = new Probe(&destroyed);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([probe] {
            for (int i = 0; i < 100000; ++i) {
                probe->AddRef();
                probe->Release();
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_TRUE(destroyed);
}

TEST(ComObject, ClassFactoryCreatesRefusesAggregationAndCountsLocks) {
    std::atomic<long> locks{0};
    auto* factory = new kvwin::SimpleClassFactory(kvwin::CreateComInstance<Probe>, &locks);
    IOther* other = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&other)), S_OK);
    EXPECT_EQ(other->Other(), 8);
    EXPECT_EQ(RefCount(other), 1u);  // the creation's own reference is gone

    void* refused = &refused;
    EXPECT_EQ(factory->CreateInstance(other, IID_IUnknown, &refused), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);
    refused = &refused;
    // The new object does not have the interface: it is destroyed again (the ASan build
    // reports it otherwise) and the out pointer cleared.
    EXPECT_EQ(factory->CreateInstance(nullptr, __uuidof(IAbsent), &refused), E_NOINTERFACE);
    EXPECT_EQ(refused, nullptr);

    factory->LockServer(TRUE);
    factory->LockServer(TRUE);
    factory->LockServer(FALSE);
    EXPECT_EQ(locks.load(), 1);
    other->Release();
    factory->Release();
}

// A larger object than Probe, deleted through its base; its constructor makes `inner` Probes
// the nothrow way and lets them go, then throws when asked to.
class Bulky final : public kvwin::ComObject<IProbe> {
  public:
    explicit Bulky(int inner = 0, bool fail = false) {
        for (int i = 0; i < inner; ++i) {
            if (IProbe* probe = new (std::nothrow) Probe())
                probe->Release();
        }
        if (fail)
            throw std::runtime_error("refused");
    }
    int STDMETHODCALLTYPE Tag() override { return payload_[0]; }

  private:
    char payload_[1000] = {};
};

TEST(ComObject, NewChargesTheObjectsBlockAndDeletionRefundsIt) {
    const size_t before = kvwin::HeldMemoryInUse();
    IProbe* probe = new Probe();
    const size_t probeCharge = kvwin::HeldObjectCharge(static_cast<Probe*>(probe));
    EXPECT_GE(probeCharge, sizeof(Probe) + kvwin::kHeldBlockOverhead);
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before + probeCharge);
    Bulky* bulky = new (std::nothrow) Bulky();
    ASSERT_NE(bulky, nullptr);
    const size_t bulkyCharge = kvwin::HeldObjectCharge(bulky);
    EXPECT_GE(bulkyCharge, sizeof(Bulky) + kvwin::kHeldBlockOverhead);
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before + probeCharge + bulkyCharge);
    // Deleted through ComObject<IProbe>: the whole block back.
    EXPECT_EQ(static_cast<IProbe*>(bulky)->Release(), 0u);
    EXPECT_EQ(probe->Release(), 0u);
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);

    // A constructor that throws gives its block and charge back, in both forms, also after
    // making (and freeing) objects of its own the nothrow way.
    EXPECT_THROW(new Bulky(0, true), std::runtime_error);
    EXPECT_THROW(new (std::nothrow) Bulky(0, true), std::runtime_error);
    EXPECT_THROW(new (std::nothrow) Bulky(8, true), std::runtime_error);
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

TEST(ComObject, PastTheHeldMemoryBoundNewFailsAndNothrowNewGivesNull) {
    // What each object is charged, learnt from one made and let go.
    auto chargeOf = [](IUnknown* object, void* block) {
        const size_t charge = kvwin::HeldObjectCharge(block);
        object->Release();
        return charge;
    };
    auto* sample = new kvwin::SimpleClassFactory(kvwin::CreateComInstance<Bulky>);
    const size_t factoryCharge = chargeOf(sample, sample);
    auto* bulkySample = new Bulky();
    const size_t bulkyCharge = chargeOf(bulkySample, bulkySample);

    const size_t before = kvwin::HeldMemoryInUse();
    // Room for a factory and a Bulky, less than a Probe more.
    kvtest::ScopedHeldMemoryBound bound(before + factoryCharge + bulkyCharge + 8);
    auto* factory = new kvwin::SimpleClassFactory(kvwin::CreateComInstance<Bulky>);
    IProbe* kept = new (std::nothrow) Probe();
    ASSERT_NE(kept, nullptr);
    const size_t keptCharge = kvwin::HeldObjectCharge(static_cast<Probe*>(kept));
    EXPECT_EQ(new (std::nothrow) Bulky(), nullptr);
    EXPECT_THROW(new Bulky(), std::bad_alloc);
    void* out = &out;
    EXPECT_EQ(kvwin::CreateComInstance<Bulky>(nullptr, IID_IUnknown, &out), E_OUTOFMEMORY);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &out), E_OUTOFMEMORY);
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before + keptCharge + factoryCharge);
    // Released, the room is back.
    kept->Release();
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &out), S_OK);
    static_cast<IUnknown*>(out)->Release();
    factory->Release();
    EXPECT_EQ(kvwin::HeldMemoryInUse(), before);
}

}  // namespace
