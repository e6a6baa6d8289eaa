// The load steps ran in their fixed order before main; the unload steps run in the reverse
// order at process exit, after every other static object; the version check's rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "kvtest/test_env.h"
#include "kvwin/wide_string.h"
#include "library_load.h"
#include "load/windows_version_check.h"
#include "test_singletons.h"
#include "win/comdef.h"
#include "win/registry.h"

namespace {

std::string JoinedSteps() {
    const char* steps[16] = {};
    const size_t count = Kavrel::RecordedLoadSteps(steps, 16);
    std::string joined;
    for (size_t i = 0; i < count && i < 16; ++i)
        joined += std::string(i ? " " : "") + steps[i];
    return joined;
}

TEST(LibraryLoad, StepsRanOnceInTheirFixedOrderBeforeMain) {
    EXPECT_EQ(JoinedSteps(),
              "load:temp-folder load:singleton-lock load:singleton-registry load:version-check");
}

// An ordinary static object of the program, constructed after the load steps: it must be
// destroyed before the singletons are.
struct OrdinaryStatic {
    bool used = false;
    ~OrdinaryStatic() {
        if (used)
            entrytest::Say("ordinary-static-destroyed ");
    }
};
OrdinaryStatic g_ordinary;

void SayStep(const char* step) {
    entrytest::Say(std::string(step) + " ");
}

struct SaysWhenDestroyed {
    ~SaysWhenDestroyed() { entrytest::Say("singleton-destroyed "); }
};

TEST(LibraryLoad, UnloadDestroysSingletonsThenDeletesTheLockAfterOtherStatics) {
    const kvtest::ChildResult child = kvtest::RunInChild([] {
        g_ordinary.used = true;
        static OrdinaryStatic firstUsedLater;  // function-local static, made after load
        firstUsedLater.used = true;
        Utility::SingletonT<SaysWhenDestroyed, 255>::Instance();
        Kavrel::SetLoadStepObserver(SayStep);
        std::exit(0);  // the orderly end, which runs the unload steps
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0);
    EXPECT_EQ(child.output,
              "ordinary-static-destroyed ordinary-static-destroyed singleton-destroyed "
              "unload:singletons-destroyed unload:singleton-lock-deleted ");
}

TEST(WindowsVersionCheck, RefusesNonNtPlatformsAndNt4AndAcceptsTheRest) {
    struct Case {
        DWORD platform, major;
        bool supported;
    } const cases[] = {
        {2, 10, true}, {2, 5, true},  {2, 6, true},   {2, 3, true},
        {2, 4, false}, {1, 4, false}, {1, 10, false}, {0, 5, false},
    };
    for (const Case& c : cases) {
        const Kavrel::WindowsVersionFacts facts{c.platform, c.major};
        EXPECT_EQ(Kavrel::IsSupportedWindowsVersion(facts), c.supported)
            << c.platform << "." << c.major;
        if (c.supported) {
            EXPECT_NO_THROW(Kavrel::CheckWindowsVersion(facts));
            continue;
        }
        try {
            Kavrel::CheckWindowsVersion(facts);
            ADD_FAILURE() << "no failure for " << c.platform << "." << c.major;
        } catch (const _com_error& e) {
            EXPECT_EQ(e.Error(), E_FAIL);
            EXPECT_EQ(WString(static_cast<const WCHAR*>(e.Description())),
                      TEXT("Requires Windows 2000 or later"));
        }
    }
}

// The facts come from the release the layer presents, which its configuration can change.
TEST(WindowsVersionCheck, ReadsTheReleaseThatTheLayerPresents) {
    kvtest::ScopedEnvironmentVariable nt4("KAVREL_WINDOWS_VERSION", "4.0.1381");
    const Kavrel::WindowsVersionFacts facts = Kavrel::ReadWindowsVersionForLoadCheck();
    EXPECT_EQ(facts.platformId, Kavrel::kPlatformWin32Nt);
    EXPECT_EQ(facts.majorVersion, 4u);
    EXPECT_FALSE(Kavrel::IsSupportedWindowsVersion(facts));
}

}  // namespace
