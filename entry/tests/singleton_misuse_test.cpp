// The fatal misuses: each ends the process with exit code 50 after writing its
// message as debug output, and nothing after it runs.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

#include "kvtest/test_env.h"
#include "test_singletons.h"

namespace {

using Utility::SingletonT;

const char kDestroyedMessage[] =
    "\n*** REDIVIRIDO: ATTEMPTED TO USE ALREADY DESTROYED SINGLETON, PROCESS WILL BE "
    "TERMINATED ***\n";
const char kWrongThreadMessage[] =
    "\n*** REDIVIRIDO: ATTEMPTED TO INITIALIZE A SINGLETON ON MODULE UNLOAD FROM THE WRONG "
    "THREAD, PROCESS WILL BE TERMINATED ***\n";

// Runs `body` in a child with debug output shown on its standard error.
kvtest::ChildResult RunShowingDebugOutput(const std::function<void()>& body) {
    return kvtest::RunInChild([&] {
        ::setenv("KAVREL_DEBUG_OUTPUT", "1", 1);
        body();
        entrytest::Say("[still running]");
    });
}

void ExpectEndedByMisuse(const kvtest::ChildResult& child, const char* message) {
    ASSERT_TRUE(child.exited) << "signal " << child.signal;
    EXPECT_EQ(child.exit_code, 50);
    EXPECT_EQ(child.output, message);
}

struct Plain {
    int value = 1;
};

TEST(SingletonMisuse, UseAfterDestructionEndsTheProcessWithExitCode50) {
    ExpectEndedByMisuse(RunShowingDebugOutput([] {
                            SingletonT<Plain, 255>::Instance();
                            Utility::RunSingletonDestruction();
                            SingletonT<Plain, 255>::Instance();
                        }),
                        kDestroyedMessage);
}

// A constructor reaching its own singleton through another one (as a log object asking for
// facts whose gathering logs) is no misuse: the inner request throws, the creation fails
// like any throwing constructor, and the process goes on; the next access tries again.
struct Facts;
struct Log {
    Log();
};
struct Facts {
    Facts() { SingletonT<Log, 255>::Instance(); }
};
Log::Log() {
    SingletonT<Facts, 4095>::Instance();
}

TEST(SingletonMisuse, AConstructorNeedingItsOwnSingletonFailsWithoutEndingTheProcess) {
    const kvtest::ChildResult child = RunShowingDebugOutput([] {
        for (int attempt = 0; attempt < 2; ++attempt) {
            try {
                SingletonT<Log, 255>::Instance();
                entrytest::Say("[created]");
            } catch (const Utility::SingletonRecursion&) {
                entrytest::Say("[recursion]");
            }
        }
        if (SingletonT<Log, 255>::State() != 0 || SingletonT<Facts, 4095>::State() != 0)
            entrytest::Say("[left created]");
    });
    ASSERT_TRUE(child.exited) << "signal " << child.signal;
    EXPECT_EQ(child.exit_code, 0);
    EXPECT_EQ(child.output, "[recursion][recursion][still running]");
}

// The agent log (255) is gone when the message modules (254) are destroyed: a log call
// from a module holder's destructor is a use after destruction.
struct AgentLog {
    void Write() {}
};
struct MessageModuleHolder {
    ~MessageModuleHolder() { SingletonT<AgentLog, 255>::Instance().Write(); }
};

TEST(SingletonMisuse, ADestructorUsingASingletonDestroyedBeforeItEndsTheProcess) {
    ExpectEndedByMisuse(RunShowingDebugOutput([] {
                            SingletonT<MessageModuleHolder, 254>::Instance();
                            SingletonT<AgentLog, 255>::Instance();
                            Utility::RunSingletonDestruction();
                        }),
                        kDestroyedMessage);
}

// While one thread runs the destruction run, another makes its first use of a singleton.
struct NeverSeenBeforeUnload {};
struct HoldsTheUnloadOpen {
    static inline std::promise<void>* inDestructor = nullptr;
    static inline std::promise<void>* never = nullptr;
    ~HoldsTheUnloadOpen() {
        inDestructor->set_value();
        // The process ends while the run waits here. Were the creation let through, it would
        // wait for the lock; the bound lets the run go on, so the test fails instead of
        // hanging.
        never->get_future().wait_for(std::chrono::seconds(60));
    }
};

TEST(SingletonMisuse, CreationFromAnotherThreadDuringUnloadEndsTheProcess) {
    ExpectEndedByMisuse(RunShowingDebugOutput([] {
                            std::promise<void> inDestructor, never;
                            HoldsTheUnloadOpen::inDestructor = &inDestructor;
                            HoldsTheUnloadOpen::never = &never;
                            SingletonT<HoldsTheUnloadOpen, 255>::Instance();
                            std::thread unloader(Utility::RunSingletonDestruction);
                            unloader.detach();
                            inDestructor.get_future().wait();
                            SingletonT<NeverSeenBeforeUnload, 255>::Instance();
                        }),
                        kWrongThreadMessage);
}

TEST(SingletonMisuse, AfterTheRunOtherThreadsStillCannotCreateSingletons) {
    ExpectEndedByMisuse(
        RunShowingDebugOutput([] {
            Utility::RunSingletonDestruction();
            std::thread([] { SingletonT<NeverSeenBeforeUnload, 255>::Instance(); }).join();
        }),
        kWrongThreadMessage);
}

}  // namespace
