// Loading and unloading the library with dlopen and dlclose, in child processes.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "kvtest/test_env.h"

namespace {

void Say(const std::string& text) {
    [[maybe_unused]] ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
}

void SayEvent(const char* what) {
    Say(std::string(what) + "\n");
}

bool MappedInThisProcess(const std::string& path) {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find(path) != std::string::npos;
}

TEST(LibraryUnload, DlcloseDestroysTheSingletonsByPriorityThenDeletesTheLock) {
    const kvtest::ChildResult child = kvtest::RunInChild([] {
        void* probe = ::dlopen(KAVREL_UNLOAD_PROBE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!probe) {
            Say(std::string("dlopen: ") + ::dlerror());
            ::_exit(2);
        }
        auto loadSteps =
            reinterpret_cast<void (*)(char*, size_t)>(::dlsym(probe, "ProbeLoadSteps"));
        auto create = reinterpret_cast<void (*)(void (*)(const char*))>(
            ::dlsym(probe, "ProbeCreateSingletons"));
        if (!loadSteps || !create)
            ::_exit(3);
        char steps[512];
        loadSteps(steps, sizeof steps);
        Say(std::string(steps) + "\n");
        create(SayEvent);
        ::dlclose(probe);
        Say(MappedInThisProcess(KAVREL_UNLOAD_PROBE_PATH) ? "still mapped\n" : "unmapped\n");
        ::_exit(0);
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0) << child.output;
    EXPECT_EQ(child.output,
              "load:temp-folder load:singleton-lock load:singleton-registry load:version-check\n"
              "destroy:console\n"
              "destroy:os-facts\n"
              "destroy:install-log-name\n"
              "destroy:agent-log\n"
              "destroy:message-modules\n"
              "unload:singletons-destroyed\n"
              "unload:singleton-lock-deleted\n"
              "unmapped\n");
}

TEST(LibraryUnload, TheLibraryLoadsAndUnloadsCleanly) {
    const kvtest::ChildResult child = kvtest::RunInChild([] {
        for (int round = 0; round < 2; ++round) {
            void* library = ::dlopen(KAVREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
            if (!library) {
                Say(std::string("dlopen: ") + ::dlerror());
                ::_exit(2);
            }
            if (::dlclose(library) != 0)
                ::_exit(3);
            if (MappedInThisProcess(KAVREL_LIBRARY_PATH))
                ::_exit(4);
        }
        ::_exit(0);
    });
    ASSERT_TRUE(child.exited);
    EXPECT_EQ(child.exit_code, 0) << child.output;
}

}  // namespace
