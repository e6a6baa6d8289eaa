#include "win/modules.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "kvwin/utf.h"

namespace {

std::string FileNameOf(HMODULE module) {
    WCHAR buffer[4096];
    const DWORD n = GetModuleFileNameW(module, buffer, 4096);
    if (n == 0 || n >= 4096)
        return "<failed>";
    return kvwin::ToUtf8(std::u16string_view(buffer, n));
}

std::string Canonical(const std::string& path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string SelfExe() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

TEST(ModuleHandle, FindsThePlatformLibraryByWindowsAndLinuxNamesInAnyCase) {
    HMODULE layer = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCWSTR>(&GetModuleHandleW), &layer));
    ASSERT_NE(layer, nullptr);
    EXPECT_NE(FileNameOf(layer).find("libkavrel-win.so"), std::string::npos) << FileNameOf(layer);

    for (const char16_t* name : {u"kavrel-win.dll", u"KAVREL-WIN.DLL", u"Kavrel-Win",
                                 u"libkavrel-win.so", u"LibKavrel-Win.SO"}) {
        SetLastError(0);
        EXPECT_EQ(GetModuleHandleW(name), layer) << kvwin::ToUtf8(name);
    }
    for (const char16_t* name : {u"kavrel.dll", u"kavrel-wi.dll", u"kavrel-win.exe",
                                 u"kernel32.dll", u"libkavrel-win.so.x", u""}) {
        SetLastError(0);
        EXPECT_EQ(GetModuleHandleW(name), nullptr) << kvwin::ToUtf8(name);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    }
    // A full path is compared as a path, with either separator.
    std::u16string path = kvwin::FromUtf8(Canonical(FileNameOf(layer)));
    EXPECT_EQ(GetModuleHandleW(path.c_str()), layer);
    for (auto& c : path) {
        if (c == u'/')
            c = u'\\';
    }
    EXPECT_EQ(GetModuleHandleW(path.c_str()), layer);
    EXPECT_EQ(GetModuleHandleW(u"/no/such/libkavrel-win.so"), nullptr);
}

TEST(ModuleHandle, FindsAModuleNamedTheWindowsWayAndItsAddresses) {
    EXPECT_EQ(GetModuleHandleW(u"Colvane.dll"), nullptr);
    void* library = ::dlopen(KV_COLVANE_FIXTURE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    HMODULE colvane = GetModuleHandleW(u"colvane.DLL");
    ASSERT_NE(colvane, nullptr);
    EXPECT_EQ(GetModuleHandleW(u"Colvane"), colvane);
    EXPECT_EQ(Canonical(FileNameOf(colvane)), Canonical(KV_COLVANE_FIXTURE));

    void* function = ::dlsym(library, "ColvaneFixtureAnswer");
    ASSERT_NE(function, nullptr);
    HMODULE by_address = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                   static_cast<LPCWSTR>(function), &by_address));
    EXPECT_EQ(by_address, colvane);
    // That call took a reference: the module survives one dlclose.
    ASSERT_EQ(::dlclose(library), 0);
    EXPECT_EQ(GetModuleHandleW(u"Colvane.dll"), colvane);

    HMODULE out = reinterpret_cast<HMODULE>(1);
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, nullptr, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_FALSE(GetModuleHandleExW(
        GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        u"Colvane.dll", &out));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(GetModuleHandleExW(0x100, u"Colvane.dll", &out));
    int on_stack = 0;
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                    reinterpret_cast<LPCWSTR>(&on_stack), &out));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(ModuleFileName, ExecutableAndTruncationRules) {
    const std::string exe = SelfExe();
    ASSERT_FALSE(exe.empty());
    EXPECT_EQ(FileNameOf(nullptr), exe);
    HMODULE self = GetModuleHandleW(nullptr);
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(FileNameOf(self), exe);
    HMODULE by_address = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                   reinterpret_cast<LPCWSTR>(&FileNameOf), &by_address));
    EXPECT_EQ(by_address, self);
    const size_t slash = exe.rfind('/');
    EXPECT_EQ(GetModuleHandleW(kvwin::FromUtf8(exe.substr(slash + 1) + ".exe").c_str()), self);

    const std::u16string wide = kvwin::FromUtf8(exe);
    const DWORD len = static_cast<DWORD>(wide.size());
    std::u16string buffer(len + 8, u'#');
    // Exactly the length: no room for the NUL, so truncated by one.
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), len), len);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(buffer.c_str()), wide.substr(0, len - 1));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(buffer.c_str()), wide.substr(0, 4));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), len + 1), len);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(std::u16string(buffer.c_str()), wide);
    EXPECT_EQ(GetModuleFileNameW(nullptr, buffer.data(), 0), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x10), buffer.data(), len + 1), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(ModuleFileName, ExtendedFormForThisProcessOnly) {
    const std::u16string wide = kvwin::FromUtf8(SelfExe());
    std::u16string buffer(wide.size() + 8, u'#');
    EXPECT_EQ(GetModuleFileNameExW(GetCurrentProcess(), nullptr, buffer.data(),
                                   static_cast<DWORD>(buffer.size())),
              wide.size());
    EXPECT_EQ(std::u16string(buffer.c_str()), wide);
    EXPECT_EQ(GetModuleFileNameExW(GetCurrentProcess(), nullptr, buffer.data(), 5), 4u);
    EXPECT_EQ(std::u16string(buffer.c_str()), wide.substr(0, 4));
    EXPECT_EQ(GetModuleFileNameExW(reinterpret_cast<HANDLE>(0x1234), nullptr, buffer.data(), 64),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
