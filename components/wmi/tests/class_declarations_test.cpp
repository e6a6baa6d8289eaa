// Every registered class, filled on this machine: each instance has one value per declared
// property, each value has the alternative its CIM type calls for (a typo in a property
// name already fails inside the fill, since InstanceBuilder refuses it), and keys are set.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <sstream>

#include "kvwin/ascii_case.h"
#include "wmi_class_test_support.h"

namespace {

TEST(ClassDeclarations, EveryClassFillsValuesOfItsDeclaredTypes) {
    const auto& classes = kvwmi::RegisteredClasses();
    std::set<std::u16string> names;
    for (const kvwmi::ClassDecl* decl : classes) {
        const std::string class_name = kvwin::ToUtf8(decl->name);
        SCOPED_TRACE(class_name);
        EXPECT_TRUE(names.insert(std::u16string(decl->name)).second) << "declared twice";
        bool has_key = false;
        std::set<std::u16string> properties;
        for (const kvwmi::PropertyDecl& p : decl->properties) {
            has_key |= p.key;
            EXPECT_TRUE(properties.insert(std::u16string(p.name)).second)
                << kvwin::ToUtf8(p.name) << " declared twice";
        }
        EXPECT_TRUE(has_key) << "no key property";

        std::vector<kvwmi::Instance> instances;
        ASSERT_NO_THROW(kvwmi::FillInstances(*decl, kvwmi::Selection{}, instances));
        for (const kvwmi::Instance& instance : instances)
            kvwmitest::ExpectWellTyped(*decl, instance);
    }
}

TEST(ClassDeclarations, TheInventoryClassesAreRegistered) {
    for (std::u16string_view name : {u"Win32_OperatingSystem",
                                     u"Win32_ComputerSystem",
                                     u"Win32_ComputerSystemProduct",
                                     u"Win32_BIOS",
                                     u"Win32_BaseBoard",
                                     u"Win32_SystemEnclosure",
                                     u"Win32_Processor",
                                     u"Win32_PhysicalMemory",
                                     u"Win32_LogicalDisk",
                                     u"Win32_DiskDrive",
                                     u"Win32_DiskPartition",
                                     u"Win32_NetworkAdapter",
                                     u"Win32_NetworkAdapterConfiguration",
                                     u"Win32_Process",
                                     u"Win32_Service",
                                     u"Win32_Product",
                                     u"Win32_UserAccount",
                                     u"Win32_Group",
                                     u"Win32_Environment",
                                     u"Win32_TimeZone",
                                     u"Win32_StartupCommand",
                                     u"Win32_QuickFixEngineering"}) {
        EXPECT_NE(kvwmi::FindClass(u"ROOT\\CIMV2", name), nullptr) << kvwin::ToUtf8(name);
    }
}

TEST(ClassDeclarations, ClassesThatAlwaysDescribeTheMachineHaveOneInstance) {
    for (std::u16string_view name :
         {u"Win32_OperatingSystem", u"Win32_ComputerSystem", u"Win32_TimeZone"}) {
        EXPECT_EQ(kvwmitest::Fill(kvwmitest::Class(name)).size(), 1u) << kvwin::ToUtf8(name);
    }
}

std::u16string Cased(std::u16string_view name, bool upper) {
    std::u16string out(name);
    for (char16_t& c : out)
        c = upper ? kvwin::AsciiUpper(c) : kvwin::AsciiLower(c);
    return out;
}

// A registered class finds its properties through its index of names; it must answer as
// the plain walk over the declarations does, in any case and for names it lacks.
TEST(ClassDeclarations, PropertyLookUpsAnswerAsTheWalkDoes) {
    for (const kvwmi::ClassDecl* decl : kvwmi::RegisteredClasses()) {
        SCOPED_TRACE(kvwin::ToUtf8(decl->name));
        ASSERT_FALSE(decl->name_slots.empty());
        kvwmi::ClassDecl walked = *decl;
        walked.name_slots.clear();
        for (size_t i = 0; i < decl->properties.size(); ++i) {
            const std::u16string_view name = decl->properties[i].name;
            for (const std::u16string& asked :
                 {std::u16string(name), Cased(name, true), Cased(name, false)})
                EXPECT_EQ(decl->IndexOf(asked), walked.IndexOf(asked)) << kvwin::ToUtf8(asked);
            EXPECT_EQ(decl->IndexOf(name), static_cast<int>(i));
            const std::u16string longer = std::u16string(name) + u"x";
            EXPECT_EQ(decl->IndexOf(longer), walked.IndexOf(longer));
            EXPECT_EQ(decl->IndexOf(name.substr(1)), walked.IndexOf(name.substr(1)));
        }
        EXPECT_EQ(decl->IndexOf(u""), -1);
        EXPECT_EQ(decl->IndexOf(u"N\u00e4me"), -1);
    }

    // Names equal but for case: the first declared wins, indexed or not; letters outside
    // ASCII are compared exactly.
    kvwmi::ClassDecl clash{u"root\\test",
                           u"Clash",
                           {{u"Value", CIM_STRING, true},
                            {u"VALUE", CIM_STRING},
                            {u"\u00c4rger", CIM_STRING},
                            {u"\u00e4rger", CIM_STRING}},
                           nullptr};
    for (bool indexed : {false, true}) {
        if (indexed)
            clash.IndexNames();
        EXPECT_EQ(clash.IndexOf(u"value"), 0);
        EXPECT_EQ(clash.IndexOf(u"VALUE"), 0);
        EXPECT_EQ(clash.IndexOf(u"\u00e4RGER"), 3);
        EXPECT_EQ(clash.IndexOf(u"\u00c4rger"), 2);
        EXPECT_EQ(clash.IndexOf(u"\u00e4rgerx"), -1);
    }
}

const char* TypeName(CIMTYPE type) {
    switch (type & ~CIM_FLAG_ARRAY) {
        case CIM_BOOLEAN:
            return "boolean";
        case CIM_SINT8:
            return "sint8";
        case CIM_SINT16:
            return "sint16";
        case CIM_SINT32:
            return "sint32";
        case CIM_SINT64:
            return "sint64";
        case CIM_UINT8:
            return "uint8";
        case CIM_UINT16:
            return "uint16";
        case CIM_UINT32:
            return "uint32";
        case CIM_UINT64:
            return "uint64";
        case CIM_REAL32:
            return "real32";
        case CIM_REAL64:
            return "real64";
        case CIM_STRING:
            return "string";
        case CIM_DATETIME:
            return "datetime";
        case CIM_REFERENCE:
            return "ref";
        case CIM_OBJECT:
            return "object";
        default:
            return "?";
    }
}

std::string DeclaredType(const kvwmi::PropertyDecl& p) {
    return std::string(TypeName(p.type)) + ((p.type & CIM_FLAG_ARRAY) ? "[]" : "");
}

// The users' page lists every class and property with its type and key flag, in the
// class's own section.
TEST(ClassDeclarations, TheClassesPageListsEveryProperty) {
    auto page = kvlinux::ReadFileText(KAVREL_WMI_CLASSES_DOC);
    ASSERT_TRUE(page.has_value());
    for (const kvwmi::ClassDecl* decl : kvwmi::RegisteredClasses()) {
        const std::string name = kvwin::ToUtf8(decl->name);
        size_t start = page->find("\n## " + name + "\n");
        ASSERT_NE(start, std::string::npos) << name;
        size_t end = page->find("\n## ", start + 1);
        const std::string section = page->substr(start, end - start);
        for (const kvwmi::PropertyDecl& p : decl->properties) {
            std::string row = "| " + kvwin::ToUtf8(p.name) + (p.key ? " (key)" : "") + " | " +
                              DeclaredType(p) + " |";
            EXPECT_NE(section.find(row), std::string::npos) << name << ": " << row;
        }
    }
}

}  // namespace
