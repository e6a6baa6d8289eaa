// What a host sees of libkavrel.so: exactly the two exports, callable with C linkage.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "kavrel/kavrel.h"

namespace {

// The names of the defined dynamic symbols, read with nm.
std::set<std::string> DefinedDynamicSymbols(const char* path) {
    std::set<std::string> names;
    const std::string command = std::string("nm -D --defined-only '") + path + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return names;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        const size_t last = text.rfind(' ');
        names.insert(last == std::string::npos ? text : text.substr(last + 1));
    }
    EXPECT_EQ(::pclose(pipe), 0) << "nm failed on " << path;
    return names;
}

TEST(LibraryExports, OnlyTheTwoEntryPointsAreVisible) {
    const std::set<std::string> expected = {"GetInventoryInformation",
                                            "GetInventoryInformationInternal"};
    EXPECT_EQ(DefinedDynamicSymbols(KAVREL_LIBRARY_PATH), expected);
}

using Export = HRESULT (*)(const WCHAR*, BSTR*);

TEST(LibraryExports, BothAreFoundByTheirPlainNamesAndLeaveTheResultUntouchedOnFailure) {
    void* library = ::dlopen(KAVREL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    for (const char* name : {"GetInventoryInformation", "GetInventoryInformationInternal"}) {
        auto entry = reinterpret_cast<Export>(::dlsym(library, name));
        ASSERT_NE(entry, nullptr) << name;
        static WCHAR poison[] = TEXT("poison");
        BSTR result = poison;
        // A query of no known kind fails, and a failure never writes *result.
        EXPECT_LT(entry(TEXT("<query/>"), &result), 0) << name;
        EXPECT_EQ(result, poison) << name;
    }
    ::dlclose(library);
}

}  // namespace
