// Object paths and associations against this machine's live classes: Get and monikers of
// an instance path from both script engines, group membership walked with ASSOCIATORS OF
// and REFERENCES OF, every association's references resolving, disks and their partitions
// against /sys/block, and key conditions giving the rows of the full filter.
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "kvwin/utf.h"
#include "win/comdef.h"
#include "win/wbemcli.h"
#include "wmiscripting_test_support.h"

namespace {

// The text with every `$name` replaced by its value.
std::u16string Fill(std::u16string text,
                    const std::vector<std::pair<std::u16string, std::string>>& values) {
    for (const auto& [name, value] : values) {
        for (size_t at = text.find(name); at != std::u16string::npos; at = text.find(name, at))
            text.replace(at, name.size(), kvwin::FromUtf8(value));
    }
    return text;
}

// The current user's name and the names of the groups it belongs to (primary and listed),
// as the name service gives them.
std::pair<std::string, std::set<std::string>> OwnGroups() {
    const passwd* user = getpwuid(geteuid());
    if (!user)
        return {};
    const std::string name = user->pw_name;
    std::vector<gid_t> gids(256);
    int count = static_cast<int>(gids.size());
    if (getgrouplist(name.c_str(), user->pw_gid, gids.data(), &count) < 0)
        return {name, {}};
    std::set<std::string> groups;
    for (int i = 0; i < count; ++i) {
        if (const group* g = getgrgid(gids[static_cast<size_t>(i)]))
            groups.insert(g->gr_name);
    }
    return {name, groups};
}

std::string Joined(const std::set<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : "|") + name;
    return text;
}

TEST(WmiPathScripts, MonikersAndGetOfInstancePathsFromJScript) {
    wmitest::RunScript(
        Fill(uR"JS(
var pid = $pid;
var forms = ['winmgmts:\\\\.\\root\\cimv2:Win32_Process.Handle="' + pid + '"',
             "winmgmts:{impersonationLevel=impersonate}!root/cimv2:Win32_Process.Handle='" + pid + "'",
             'winmgmts:root\\cimv2:Win32_Process="' + pid + '"'];
for (var i = 0; i < forms.length; ++i) {
    var p = GetObject(forms[i]);
    Test.ok(p.ProcessId == pid && p.Handle == String(pid), forms[i] + ": " + p.ProcessId);
    Test.ok(p.Path_.RelPath == 'Win32_Process.Handle="' + pid + '"', p.Path_.RelPath);
}
var wmi = GetObject("winmgmts:");
Test.ok(wmi.Get(wmi.Get("Win32_Process.Handle='" + pid + "'").Path_.Path).ProcessId == pid,
        "Get of a full path with the machine's name");
var services = wmi.ExecQuery("SELECT Name, DisplayName FROM Win32_Service");
if (services.Count > 0) {
    var s = services.ItemIndex(0);
    var got = GetObject('winmgmts:\\\\.\\root\\cimv2:Win32_Service.Name="' + s.Name + '"');
    Test.ok(got.DisplayName == s.DisplayName, "service " + s.Name + ": " + got.DisplayName);
    Test.ok(wmi.Get("Win32_Service.Name='" + s.Name.toUpperCase() + "'").Name == s.Name,
            "a key compared without case");
}
)JS",
             {{u"$pid", std::to_string(getpid())}}));
}

TEST(WmiPathScripts, GroupMembershipFromVBScript) {
    const auto [user, groups] = OwnGroups();
    if (user.empty() || groups.empty())
        GTEST_SKIP() << "the name service knows no groups of this process's user";
    wmitest::RunVBScript(
        Fill(uR"VB(
Set wmi = GetObject("winmgmts:\\.\root\cimv2")
Set accounts = wmi.ExecQuery("SELECT * FROM Win32_UserAccount WHERE Name = '$user'")
Test.ok accounts.Count = 1, "the account $user"
For Each account In accounts
    Set self = GetObject("winmgmts:\\.\root\cimv2:" & account.Path_.RelPath)
    Test.ok self.Name = "$user", "moniker of " & account.Path_.RelPath
    expected = UBound(Split("$groups", "|")) + 1
    count = 0
    For Each g In wmi.ExecQuery("ASSOCIATORS OF {" & account.Path_.RelPath & "} WHERE AssocClass = Win32_GroupUser Role = PartComponent")
        Test.ok g.Path_.Class = "Win32_Group", "a group: " & g.Path_.Class
        Test.ok InStr("|$groups|", "|" & g.Name & "|") > 0, "a group of $user: " & g.Name
        count = count + 1
    Next
    Test.ok count = expected, count & " groups, not " & expected
    n = 0
    For Each r In wmi.ExecQuery("REFERENCES OF {" & account.Path_.RelPath & "} WHERE ResultClass = Win32_GroupUser")
        Test.ok wmi.Get(r.PartComponent).Name = "$user", "PartComponent " & r.PartComponent
        Test.ok wmi.Get(r.GroupComponent).Path_.Class = "Win32_Group", r.GroupComponent
        Test.ok wmi.Get(r.Path_.RelPath).PartComponent = r.PartComponent, "Get of " & r.Path_.RelPath
        n = n + 1
    Next
    Test.ok n = count, "one reference per group: " & n
Next
)VB",
             {{u"$user", user}, {u"$groups", Joined(groups)}}));
}

// ---- the same through IWbemServices -----------------------------------------------------------

class LiveAssociations : public ::testing::Test {
  protected:
    void SetUp() override {
        IWbemLocator* locator = nullptr;
        ASSERT_EQ(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemLocator, reinterpret_cast<void**>(&locator)),
                  S_OK);
        HRESULT hr = locator->ConnectServer(_bstr_t(u"root\\cimv2"), nullptr, nullptr, nullptr, 0,
                                            nullptr, nullptr, &services_);
        locator->Release();
        ASSERT_EQ(hr, S_OK);
    }
    void TearDown() override {
        if (services_)
            services_->Release();
    }

    std::vector<IWbemClassObject*> Query(const std::u16string& wql) {
        std::vector<IWbemClassObject*> objects;
        IEnumWbemClassObject* e = nullptr;
        HRESULT hr = services_->ExecQuery(_bstr_t(u"WQL"), _bstr_t(wql.c_str()),
                                          WBEM_FLAG_FORWARD_ONLY, nullptr, &e);
        while (SUCCEEDED(hr)) {
            IWbemClassObject* object = nullptr;
            ULONG got = 0;
            hr = e->Next(WBEM_INFINITE, 1, &object, &got);
            if (got == 1)
                objects.push_back(object);
            if (hr != S_OK)
                break;
        }
        if (e)
            e->Release();
        EXPECT_TRUE(SUCCEEDED(hr)) << kvwin::ToUtf8(wql) << " 0x" << std::hex << hr;
        return objects;
    }
    static std::string Text(IWbemClassObject* object, const char16_t* name) {
        VARIANT v;
        VariantInit(&v);
        std::string text = "(none)";
        if (SUCCEEDED(object->Get(name, 0, &v, nullptr, nullptr)) && V_VT(&v) == VT_BSTR)
            text = kvwin::ToUtf8(std::u16string(V_BSTR(&v), SysStringLen(V_BSTR(&v))));
        else if (V_VT(&v) == VT_I4)
            text = std::to_string(V_I4(&v));
        VariantClear(&v);
        return text;
    }
    static void Release(std::vector<IWbemClassObject*>& objects) {
        for (IWbemClassObject* object : objects)
            object->Release();
        objects.clear();
    }

    kvtest::ScopedApartment apartment_;
    IWbemServices* services_ = nullptr;
};

// Every reference every association holds names an object Get finds: the key forms the
// association classes write are the ones their endpoint classes answer.
TEST_F(LiveAssociations, EveryReferenceResolves) {
    for (const char16_t* association :
         {u"Win32_GroupUser", u"Win32_NetworkAdapterSetting", u"Win32_DiskDriveToDiskPartition",
          u"Win32_LogicalDiskToPartition", u"Win32_SystemDriverPNPEntity"}) {
        std::vector<IWbemClassObject*> links =
            Query(u"SELECT * FROM " + std::u16string(association));
        size_t checked = 0;
        for (IWbemClassObject* link : links) {
            for (const char16_t* role : {u"GroupComponent", u"PartComponent", u"Element",
                                         u"Setting", u"Antecedent", u"Dependent"}) {
                const std::string path = Text(link, role);
                if (path == "(none)" || ++checked > 200)
                    continue;
                IWbemClassObject* object = nullptr;
                EXPECT_EQ(services_->GetObject(_bstr_t(kvwin::FromUtf8(path).c_str()), 0, nullptr,
                                               &object, nullptr),
                          S_OK)
                    << kvwin::ToUtf8(association) << " " << path;
                if (object)
                    object->Release();
            }
        }
        Release(links);
    }
    // Every interface has its configuration, and the loopback interface is always there.
    std::vector<IWbemClassObject*> adapters = Query(u"SELECT * FROM Win32_NetworkAdapter");
    ASSERT_FALSE(adapters.empty());
    for (IWbemClassObject* adapter : adapters) {
        std::vector<IWbemClassObject*> settings =
            Query(u"ASSOCIATORS OF {" + kvwin::FromUtf8(Text(adapter, u"__RELPATH")) +
                  u"} WHERE ResultClass = Win32_NetworkAdapterConfiguration");
        ASSERT_EQ(settings.size(), 1u) << Text(adapter, u"__RELPATH");
        EXPECT_EQ(Text(settings[0], u"Index"), Text(adapter, u"Index"));
        Release(settings);
    }
    Release(adapters);
}

TEST_F(LiveAssociations, DisksAndTheirPartitionsAsSysfsListsThem) {
    std::vector<IWbemClassObject*> disks = Query(u"SELECT * FROM Win32_DiskDrive");
    if (disks.empty())
        GTEST_SKIP() << "this machine shows no disk backed by hardware under /sys/block";
    for (IWbemClassObject* disk : disks) {
        const std::string node = Text(disk, u"DeviceID");  // "/dev/sda"
        const std::string name = node.substr(node.rfind('/') + 1);
        std::set<std::string> expected;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator("/sys/block/" + name, error)) {
            if (std::filesystem::exists(entry.path() / "partition"))
                expected.insert("/dev/" + entry.path().filename().string());
        }
        std::set<std::string> found;
        std::vector<IWbemClassObject*> parts =
            Query(u"ASSOCIATORS OF {Win32_DiskDrive.DeviceID=\"" + kvwin::FromUtf8(node) +
                  u"\"} WHERE AssocClass = Win32_DiskDriveToDiskPartition");
        for (IWbemClassObject* part : parts)
            found.insert(Text(part, u"DeviceID"));
        EXPECT_EQ(found, expected) << node;
        Release(parts);
    }
    Release(disks);
}

// A key condition (answered by the class's lookup) gives exactly the rows the same
// condition written so that no lookup applies gives.
TEST_F(LiveAssociations, KeyConditionsGiveTheRowsOfTheFullFilter) {
    const std::u16string pid = kvwin::FromUtf8(std::to_string(getpid()));
    std::vector<std::pair<std::u16string, std::u16string>> pairs = {
        {u"SELECT Handle, Name, CommandLine FROM Win32_Process WHERE ProcessId = " + pid,
         u"SELECT Handle, Name, CommandLine FROM Win32_Process WHERE ProcessId = " + pid +
             u" OR ProcessId = " + pid},
        {u"SELECT * FROM Win32_Process WHERE Handle = '0" + pid + u"'",
         u"SELECT * FROM Win32_Process WHERE Handle LIKE '0" + pid + u"'"},
        {u"SELECT * FROM Win32_Process WHERE ProcessId = '" + pid + u".0'",
         u"SELECT * FROM Win32_Process WHERE ProcessId >= " + pid + u" AND ProcessId <= " + pid}};
    std::vector<IWbemClassObject*> services = Query(u"SELECT Name FROM Win32_Service");
    if (!services.empty()) {
        std::u16string name = kvwin::FromUtf8(Text(services[0], u"Name"));
        for (char16_t& c : name)
            c = (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c;
        pairs.push_back({u"SELECT * FROM Win32_Service WHERE Name = '" + name + u"'",
                         u"SELECT * FROM Win32_Service WHERE Name LIKE '" + name + u"'"});
    }
    Release(services);
    for (const auto& [pushed, full] : pairs) {
        auto rows = [&](const std::u16string& wql) {
            std::vector<IWbemClassObject*> objects = Query(wql);
            std::vector<std::string> texts;
            for (IWbemClassObject* object : objects)
                texts.push_back(Text(object, u"__RELPATH") + " " + Text(object, u"Name") + " " +
                                Text(object, u"CommandLine"));
            Release(objects);
            return texts;
        };
        EXPECT_EQ(rows(pushed), rows(full)) << kvwin::ToUtf8(pushed);
    }
    std::vector<IWbemClassObject*> own =
        Query(u"SELECT Name FROM Win32_Process WHERE ProcessId = " + pid);
    EXPECT_EQ(own.size(), 1u);
    Release(own);
}

}  // namespace
