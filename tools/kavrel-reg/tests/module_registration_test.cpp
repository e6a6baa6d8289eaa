// Registering a component module from the classes it declares: by the tool, as regsvr32
// does, and by the module's own DllRegisterServer; and activating through what was written.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "declared_module.h"
#include "kvtest/com_support.h"
#include "kvtest/command_run.h"
#include "kvwin/com_guid_text.h"
#include "kvwin/utf.h"
#include "win/registry.h"

namespace {

using ToolRun = kvtest::CommandRun;

ToolRun Tool(const std::string& arguments) {
    return kvtest::RunCommand(std::string(KAVREL_REG_TOOL) + " " + arguments + " 2>&1");
}

std::string ModulePath() {
    char resolved[PATH_MAX];
    return ::realpath(KAVREL_DECLARED_MODULE, resolved) ? resolved : KAVREL_DECLARED_MODULE;
}

// A REG_SZ below HKCR, or "<missing>".
std::u16string ClassesText(const std::u16string& key, const char16_t* name = nullptr) {
    char16_t buffer[512] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return u"<missing>";
    return buffer;
}

HRESULT ProbeAnswer(LONG& answer) {
    IDeclaredProbe* probe = nullptr;
    HRESULT hr = CoCreateInstance(kClsidDeclaredProbe, nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(IDeclaredProbe), reinterpret_cast<void**>(&probe));
    if (FAILED(hr))
        return hr;
    hr = probe->Answer(&answer);
    probe->Release();
    return hr;
}

const std::u16string kClassKey = u"CLSID\\" + kvwin::GuidToText(kClsidDeclaredProbe);

TEST(ModuleRegistration, RegisterWritesTheWindowsLayoutAndActivatesUnregisterRemovesIt) {
    kvtest::ScopedApartment apartment;
    LONG answer = 0;
    ASSERT_EQ(ProbeAnswer(answer), REGDB_E_CLASSNOTREG) << "not a built-in";

    ToolRun run = Tool("register " + std::string(KAVREL_DECLARED_MODULE));
    ASSERT_EQ(run.status, 0) << run.output;
    const std::u16string clsid = kvwin::GuidToText(kClsidDeclaredProbe);
    EXPECT_EQ(ClassesText(kClassKey + u"\\InprocServer32"), kvwin::FromUtf8(ModulePath()));
    EXPECT_EQ(ClassesText(kClassKey + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    EXPECT_EQ(ClassesText(kClassKey + u"\\ProgID"), u"KavrelTest.Probe.1");
    EXPECT_EQ(ClassesText(kClassKey + u"\\VersionIndependentProgID"), u"KavrelTest.Probe");
    EXPECT_EQ(ClassesText(u"KavrelTest.Probe.1\\CLSID"), clsid);
    EXPECT_EQ(ClassesText(u"KavrelTest.Probe\\CLSID"), clsid);
    EXPECT_EQ(ClassesText(u"KavrelTest.Probe\\CurVer"), u"KavrelTest.Probe.1");

    // Activation goes through the written keys: both names, the class, its ProgID.
    for (const char16_t* name : {u"KavrelTest.Probe", u"kavreltest.probe.1"}) {
        CLSID found{};
        EXPECT_EQ(CLSIDFromProgID(name, &found), S_OK) << kvwin::ToUtf8(name);
        EXPECT_EQ(found, kClsidDeclaredProbe);
    }
    ASSERT_EQ(ProbeAnswer(answer), S_OK);
    EXPECT_EQ(answer, 42);
    LPOLESTR prog_id = nullptr;
    ASSERT_EQ(ProgIDFromCLSID(kClsidDeclaredProbe, &prog_id), S_OK);
    EXPECT_EQ(std::u16string(prog_id), u"KavrelTest.Probe.1");
    CoTaskMemFree(prog_id);

    // Registering again changes nothing.
    EXPECT_EQ(Tool("register " + std::string(KAVREL_DECLARED_MODULE)).status, 0);
    EXPECT_EQ(ProbeAnswer(answer), S_OK);

    // A ProgID another class has taken over since is left to that class.
    kvtest::SetClassesRootDefault(u"KavrelTest.Probe\\CLSID",
                                  u"{00000000-0000-0000-0000-0000000000AB}");
    run = Tool("unregister " + std::string(KAVREL_DECLARED_MODULE));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(ProbeAnswer(answer), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ClassesText(kClassKey), u"<missing>");
    EXPECT_EQ(ClassesText(u"KavrelTest.Probe.1\\CLSID"), u"<missing>");
    EXPECT_EQ(ClassesText(u"KavrelTest.Probe\\CLSID"), u"{00000000-0000-0000-0000-0000000000AB}");
    CLSID found{};
    EXPECT_EQ(CLSIDFromProgID(u"KavrelTest.Probe.1", &found), CO_E_CLASSSTRING);
    // Removing what is not there is no failure, as with regsvr32 /u.
    EXPECT_EQ(Tool("unregister " + std::string(KAVREL_DECLARED_MODULE)).status, 0);
}

TEST(ModuleRegistration, TheModulesOwnEntryPointsRegisterTheSameWay) {
    kvtest::ScopedApartment apartment;
    void* module = ::dlopen(KAVREL_DECLARED_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    auto entry = [&](const char* name) {
        return reinterpret_cast<HRESULT (*)()>(::dlsym(module, name));
    };
    ASSERT_NE(entry("DllRegisterServer"), nullptr);
    ASSERT_NE(entry("DllUnregisterServer"), nullptr);
    EXPECT_EQ(entry("DllRegisterServer")(), S_OK);
    EXPECT_EQ(ClassesText(kClassKey + u"\\InprocServer32"), kvwin::FromUtf8(ModulePath()));
    LONG answer = 0;
    EXPECT_EQ(ProbeAnswer(answer), S_OK);
    EXPECT_EQ(entry("DllUnregisterServer")(), S_OK);
    EXPECT_EQ(ProbeAnswer(answer), REGDB_E_CLASSNOTREG);
    CoFreeUnusedLibraries();
    ::dlclose(module);
}

TEST(ModuleRegistration, DeclarationsAreWrittenAsTheBuildReadsThemAndBadModulesAreRefused) {
    ToolRun run = Tool("declarations " + std::string(KAVREL_DECLARED_MODULE) + " -");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, kvwin::ToUtf8(kvwin::GuidToText(kClsidDeclaredProbe)) +
                              "\tKavrelTest.Probe.1\tKavrelTest.Probe\tApartment\n");

    // No such file; a shared object that declares nothing; a file that is no module.
    for (const std::string& module :
         {std::string("/nonexistent/libnothing.so"), std::string(KAVREL_LAYER_MODULE),
          std::string(KAVREL_REG_TOOL_SOURCE)}) {
        for (const char* verb : {"register ", "unregister ", "declarations "}) {
            run = Tool(verb + module + (verb[0] == 'd' ? " -" : ""));
            EXPECT_EQ(run.status, 1) << verb << module << ": " << run.output;
            EXPECT_NE(run.output.find("kavrel-reg: "), std::string::npos) << run.output;
        }
    }
    EXPECT_EQ(Tool("register").status, 2);
    EXPECT_EQ(Tool("declarations " + std::string(KAVREL_DECLARED_MODULE)).status, 2);
}

}  // namespace
