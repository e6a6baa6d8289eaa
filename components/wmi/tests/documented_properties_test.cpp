// Each class listed in data/documented-properties.txt (the properties Windows documents
// for it) declares exactly those properties, with the same CIM types, in the same order,
// in the namespace the list names.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "kvtest/documented_classes.h"
#include "wmi_class_test_support.h"

namespace {

using Documented = kvtest::DocumentedClass;

CIMTYPE ParseType(std::string text) {
    CIMTYPE flags = 0;
    if (kvlinux::EndsWith(text, "[]")) {
        flags = CIM_FLAG_ARRAY;
        text.resize(text.size() - 2);
    }
    static const std::map<std::string, CIMTYPE> kTypes = {
        {"boolean", CIM_BOOLEAN},   {"sint8", CIM_SINT8},   {"uint8", CIM_UINT8},
        {"sint16", CIM_SINT16},     {"uint16", CIM_UINT16}, {"sint32", CIM_SINT32},
        {"uint32", CIM_UINT32},     {"sint64", CIM_SINT64}, {"uint64", CIM_UINT64},
        {"real32", CIM_REAL32},     {"real64", CIM_REAL64}, {"string", CIM_STRING},
        {"datetime", CIM_DATETIME}, {"object", CIM_OBJECT}, {"ref", CIM_REFERENCE}};
    auto found = kTypes.find(text);
    if (found == kTypes.end())
        throw std::runtime_error("unknown type " + text);
    return found->second | flags;
}

std::vector<Documented> ReadDocumented() {
    return kvtest::ParseDocumentedClasses(kvwmitest::Fixture("documented-properties.txt"));
}

// Every class we serve has its documented list: a class cannot be added without one.
TEST(DocumentedProperties, EveryRegisteredClassIsListed) {
    std::set<std::pair<std::string, std::string>> listed;
    for (const Documented& doc : ReadDocumented())
        listed.emplace(doc.ns, doc.name);
    for (const kvwmi::ClassDecl* decl : kvwmi::RegisteredClasses()) {
        EXPECT_TRUE(listed.count({kvwin::ToUtf8(decl->ns), kvwin::ToUtf8(decl->name)}))
            << kvwin::ToUtf8(decl->ns) << " " << kvwin::ToUtf8(decl->name);
    }
}

TEST(DocumentedProperties, ClassesDeclareWhatWindowsDocuments) {
    const auto documented = ReadDocumented();
    ASSERT_FALSE(documented.empty());
    for (const Documented& doc : documented) {
        SCOPED_TRACE(doc.ns + " " + doc.name);
        const kvwmi::ClassDecl* decl =
            kvwmi::FindClass(kvwin::FromUtf8(doc.ns), kvwin::FromUtf8(doc.name));
        ASSERT_NE(decl, nullptr) << "not registered";
        std::vector<std::pair<std::string, CIMTYPE>> declared;
        for (const kvwmi::PropertyDecl& p : decl->properties)
            declared.emplace_back(kvwin::ToUtf8(p.name), p.type);
        for (size_t i = 0; i < std::max(declared.size(), doc.properties.size()); ++i) {
            const std::string want = i < doc.properties.size() ? doc.properties[i].first : "(none)";
            const std::string got = i < declared.size() ? declared[i].first : "(none)";
            ASSERT_EQ(got, want) << "property " << i;
            EXPECT_EQ(declared[i].second, ParseType(doc.properties[i].second)) << want;
        }
    }
}

// A class's instances are told apart by their keys: no two instances share them.
TEST(DocumentedProperties, KeysAreUniqueAmongLiveInstances) {
    for (const Documented& doc : ReadDocumented()) {
        const kvwmi::ClassDecl* decl =
            kvwmi::FindClass(kvwin::FromUtf8(doc.ns), kvwin::FromUtf8(doc.name));
        ASSERT_NE(decl, nullptr) << doc.name;
        std::set<std::vector<kvwmi::CimValue>> keys;
        for (const kvwmi::Instance& instance : kvwmitest::Fill(*decl)) {
            std::vector<kvwmi::CimValue> key;
            for (size_t i = 0; i < decl->properties.size(); ++i) {
                if (decl->properties[i].key)
                    key.push_back(instance[i]);
            }
            EXPECT_TRUE(keys.insert(key).second) << doc.name << ": a key shared";
        }
    }
}

}  // namespace
