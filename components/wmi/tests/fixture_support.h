// Fixture files for tests: a fresh folder named by KAVREL_WMI_FIXTURES for the life of the
// object, and one call to write a scenario into it. The test build of the module, which
// serves fixture namespaces, is registered for the locator's class in the test's state root,
// so a locator activated by class serves them too.
#pragma once

#include <fstream>
#include <string>

#include "kvtest/com_support.h"
#include "kvtest/test_env.h"
#include "kvwin/com_guid_text.h"
#include "kvwin/utf.h"
#include "win/environment.h"
#include "win/wbemcli.h"

namespace wmitest {

class FixtureFolder {
  public:
    FixtureFolder() : path_(kvtest::MakeTempFolder("wmi-fixtures")) {
        SetEnvironmentVariableW(u"KAVREL_WMI_FIXTURES", kvwin::FromUtf8(path_).c_str());
        kvtest::SetClassesRootDefault(
            u"CLSID\\" + kvwin::GuidToText(CLSID_WbemLocator) + u"\\InprocServer32",
            kvwin::FromUtf8(KAVREL_WMI_FIXTURE_MODULE));
    }
    ~FixtureFolder() { SetEnvironmentVariableW(u"KAVREL_WMI_FIXTURES", nullptr); }
    FixtureFolder(const FixtureFolder&) = delete;
    FixtureFolder& operator=(const FixtureFolder&) = delete;

    // Writes <folder>/<name>.xml, reached as root\kavrel\fixtures\<name>.
    void Write(const std::string& name, const std::string& xml) const {
        std::ofstream(path_ + "/" + name + ".xml") << xml;
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A fixture with one class Kv_Item (key Id uint32, Label string) and `count` instances
// with Id 1..count, delivered as `delivery` says (the attributes of <delivery>).
inline std::string ItemsFixture(int count, const std::string& delivery,
                                const std::string& status = "") {
    std::string xml =
        "<fixture><class name='Kv_Item'>"
        "<property name='Id' type='uint32' key='true'/>"
        "<property name='Label' type='string'/>"
        "<delivery " +
        delivery + "/>" + status;
    for (int i = 1; i <= count; ++i)
        xml += "<instance><value name='Id'>" + std::to_string(i) +
               "</value><value name='Label'>item " + std::to_string(i) + "</value></instance>";
    return xml + "</class></fixture>";
}

}  // namespace wmitest
