// Singleton creation and the destruction run: exactly one construction under races, a
// failed construction retried, destruction by priority and creation order, and singletons
// created while singletons are destroyed.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

#include "kvtest/test_env.h"
#include "test_singletons.h"

namespace {

using entrytest::Event;
using entrytest::Events;
using Utility::SingletonT;

// Runs `body`, then the destruction run, in a child; returns the child's events.
std::string EventsOfChild(void (*body)()) {
    const kvtest::ChildResult child = kvtest::RunInChild([body] {
        body();
        Utility::RunSingletonDestruction();
        entrytest::Say(Events());
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0) << child.output;
    return child.output;
}

// --- creation -------------------------------------------------------------------------

struct SlowToBuild {
    static inline std::atomic<int> constructed{0};
    SlowToBuild() {
        ++constructed;
        // Widen the window in which a second constructor would overlap this one.
        for (int i = 0; i < 1000; ++i)
            std::this_thread::yield();
    }
};

TEST(SingletonCreation, ManyThreadsAskingAtOnceGetOneInstanceConstructedOnce) {
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::vector<SlowToBuild*> seen(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            seen[t] = &SingletonT<SlowToBuild, 255>::Instance();
        });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(SlowToBuild::constructed.load(), 1);
    for (SlowToBuild* p : seen)
        EXPECT_EQ(p, seen[0]);
    EXPECT_EQ((SingletonT<SlowToBuild, 255>::State()), Utility::kSingletonCreated);
}

struct FailsFirstTime {
    static inline int attempts = 0;
    int value = 0;
    FailsFirstTime() {
        if (++attempts == 1)
            throw std::runtime_error("first construction fails");
        value = 7;
    }
    ~FailsFirstTime() { Event("~FailsFirstTime"); }
};

TEST(SingletonCreation, AFailedConstructionLeavesItUncreatedAndTheNextAccessRetries) {
    const std::string events = EventsOfChild([] {
        using S = SingletonT<FailsFirstTime, 255>;
        bool threw = false;
        try {
            S::Instance();
        } catch (const std::runtime_error&) {
            threw = true;
        }
        Event(threw && S::State() == 0 ? "threw-uncreated" : "did-not-throw");
        Event(S::Instance().value == 7 && FailsFirstTime::attempts == 2 ? "retried" : "no-retry");
    });
    // Destroyed exactly once: the failed attempt was never registered.
    EXPECT_EQ(events, "threw-uncreated retried ~FailsFirstTime");
}

// --- destruction order ------------------------------------------------------------------

constexpr char kConsole[] = "Console";
constexpr char kOs[] = "Os";
constexpr char kFirst255[] = "First255";
constexpr char kSecond255[] = "Second255";
constexpr char kModule[] = "Module254";
constexpr char kMessages[] = "Messages254";

using Console = SingletonT<entrytest::Logged<kConsole>, 0xFFFF>;
using Os = SingletonT<entrytest::Logged<kOs>, 0xFFF>;
using Module = SingletonT<entrytest::Logged<kModule>, 254>;
using Messages = SingletonT<entrytest::Logged<kMessages>, 254>;

// Created first, but needs the module holder, which is therefore constructed inside it.
struct First255 {
    First255() {
        Module::Instance();
        Event("First255()");
    }
    ~First255() { Event("~First255"); }
};

// Its constructor creates the operating-system facts, of a higher priority.
struct Second255 {
    Second255() {
        Os::Instance();
        Event("Second255()");
    }
    ~Second255() { Event("~Second255"); }
};

TEST(SingletonDestruction, HighestPriorityFirstAndLastCreatedFirstWithinAPriority) {
    const std::string events = EventsOfChild([] {
        Messages::Instance();
        SingletonT<First255, 255>::Instance();
        SingletonT<Second255, 255>::Instance();
        Console::Instance();
        Event("|");
    });
    EXPECT_EQ(events,
              "Messages254() Module254() First255() Os() Second255() Console() | "
              "~Console ~Os ~Second255 ~First255 ~Module254 ~Messages254");
}

// Within one priority, a singleton created inside another's constructor completes first
// and so is registered first: the outer one is destroyed before it.
struct Outer255 {
    Outer255();
    ~Outer255() { Event("~Outer"); }
};
struct Inner255 {
    Inner255() { Event("Inner()"); }
    ~Inner255() { Event("~Inner"); }
};
Outer255::Outer255() {
    SingletonT<Inner255, 255>::Instance();
    Event("Outer()");
}

TEST(SingletonDestruction, NestedCreationWithinOnePriorityDestroysTheOuterFirst) {
    EXPECT_EQ(EventsOfChild([] { SingletonT<Outer255, 255>::Instance(); }),
              "Inner() Outer() ~Outer ~Inner");
}

// A destructor that uses a singleton not created yet creates it, on the unloading thread;
// it is destroyed in a further pass, after everything of the first pass, whatever its
// priority.
constexpr char kLate[] = "Late500";
constexpr char kLow[] = "Low100";
using Late = SingletonT<entrytest::Logged<kLate>, 500>;
using Low = SingletonT<entrytest::Logged<kLow>, 100>;
struct NeedsLateInDestructor {
    ~NeedsLateInDestructor() {
        Event("~Needs");
        Late::Instance();
    }
};

TEST(SingletonDestruction, SingletonsCreatedDuringTheRunAreDestroyedInALaterPass) {
    const std::string events = EventsOfChild([] {
        Low::Instance();
        SingletonT<NeedsLateInDestructor, 300>::Instance();
    });
    EXPECT_EQ(events, "Low100() ~Needs Late500() ~Low100 ~Late500");
}

}  // namespace
