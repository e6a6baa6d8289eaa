// Helpers for the class tests: fill a registered class, read one property of an instance,
// find the fixture files, run a command and capture its output.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "kvtest/command_run.h"
#include "kvwin/utf.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmitest {

inline const kvwmi::ClassDecl& Class(std::u16string_view name,
                                     std::u16string_view ns = u"root\\cimv2") {
    const kvwmi::ClassDecl* decl = kvwmi::FindClass(ns, name);
    if (!decl)
        throw std::runtime_error("class not registered: " + kvwin::ToUtf8(name));
    return *decl;
}

inline std::vector<kvwmi::Instance> Fill(const kvwmi::ClassDecl& decl) {
    std::vector<kvwmi::Instance> out;
    kvwmi::FillInstances(decl, kvwmi::Selection{}, out);
    return out;
}

inline const kvwmi::CimValue& Value(const kvwmi::ClassDecl& decl, const kvwmi::Instance& instance,
                                    std::u16string_view property) {
    int index = decl.IndexOf(property);
    if (index < 0)
        throw std::runtime_error("no such property: " + kvwin::ToUtf8(property));
    return instance.at(static_cast<size_t>(index));
}

// The text of a string property in UTF-8; "<null>" when null.
inline std::string TextOf(const kvwmi::ClassDecl& decl, const kvwmi::Instance& instance,
                          std::u16string_view property) {
    const auto& value = Value(decl, instance, property);
    if (auto* text = std::get_if<std::u16string>(&value))
        return kvwin::ToUtf8(*text);
    return "<null>";
}

inline std::optional<std::uint64_t> UnsignedOf(const kvwmi::ClassDecl& decl,
                                               const kvwmi::Instance& instance,
                                               std::u16string_view property) {
    const auto& value = Value(decl, instance, property);
    if (auto* number = std::get_if<std::uint64_t>(&value))
        return *number;
    return std::nullopt;
}

// Which CimValue alternative a declared type must use (besides null).
inline bool Matches(CIMTYPE type, const kvwmi::CimValue& value) {
    if (kvwmi::IsNull(value))
        return true;
    const bool array = (type & CIM_FLAG_ARRAY) != 0;
    switch (type & ~CIM_FLAG_ARRAY) {
        case CIM_BOOLEAN:
            return !array && std::holds_alternative<bool>(value);
        case CIM_SINT8:
        case CIM_SINT16:
        case CIM_SINT32:
        case CIM_SINT64:
            return array ? std::holds_alternative<std::vector<std::int64_t>>(value)
                         : std::holds_alternative<std::int64_t>(value);
        case CIM_UINT8:
        case CIM_UINT16:
        case CIM_UINT32:
        case CIM_UINT64:
            return array ? std::holds_alternative<std::vector<std::int64_t>>(value)
                         : std::holds_alternative<std::uint64_t>(value);
        case CIM_REAL32:
        case CIM_REAL64:
            return !array && std::holds_alternative<double>(value);
        case CIM_STRING:
        case CIM_DATETIME:
        case CIM_REFERENCE:
            return array ? std::holds_alternative<std::vector<std::u16string>>(value)
                         : std::holds_alternative<std::u16string>(value);
        case CIM_OBJECT: {
            auto* objects = std::get_if<kvwmi::EmbeddedObjects>(&value);
            return objects && (array || objects->size() == 1);
        }
        default:
            return false;
    }
}

// The largest value each unsigned type can carry, so a uint8 holding 300 is caught.
inline std::uint64_t MaxOf(CIMTYPE type) {
    switch (type & ~CIM_FLAG_ARRAY) {
        case CIM_UINT8:
            return 0xFF;
        case CIM_UINT16:
            return 0xFFFF;
        case CIM_UINT32:
            return 0xFFFFFFFF;
        default:
            return UINT64_MAX;
    }
}

inline bool IsCimDateTime(const std::u16string& text) {
    if (text.size() != 25 || text[14] != u'.' || (text[21] != u'+' && text[21] != u'-'))
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (i != 14 && i != 21 && (text[i] < u'0' || text[i] > u'9'))
            return false;
    }
    return true;
}

// One value per declared property, each of the alternative its CIM type calls for, within
// the type's range, datetimes in CIM form, and a class with keys has one that is not
// empty (a second key may be empty, as Win32_QuickFixEngineering's ServicePackInEffect is).
inline void ExpectWellTyped(const kvwmi::ClassDecl& decl, const kvwmi::Instance& instance) {
    ASSERT_EQ(instance.size(), decl.properties.size());
    size_t empty_keys = 0, named_keys = 0;
    for (size_t i = 0; i < instance.size(); ++i) {
        const kvwmi::PropertyDecl& p = decl.properties[i];
        const kvwmi::CimValue& value = instance[i];
        SCOPED_TRACE(kvwin::ToUtf8(p.name));
        EXPECT_TRUE(Matches(p.type, value)) << "alternative " << value.index();
        if (auto* number = std::get_if<std::uint64_t>(&value)) {
            EXPECT_LE(*number, MaxOf(p.type));
        }
        auto* text = std::get_if<std::u16string>(&value);
        if (text && p.type == CIM_DATETIME) {
            EXPECT_TRUE(IsCimDateTime(*text)) << kvwin::ToUtf8(*text);
        }
        if (text && p.key)
            ++(text->empty() ? empty_keys : named_keys);
        if (auto* objects = std::get_if<kvwmi::EmbeddedObjects>(&value)) {
            for (const auto& object : *objects) {
                ASSERT_TRUE(object && object->decl);
                ExpectWellTyped(*object->decl, object->values);
            }
        }
    }
    EXPECT_TRUE(empty_keys == 0 || named_keys > 0) << "only empty keys";
}

inline std::string DataPath(const std::string& relative) {
    return std::string(KAVREL_WMI_TEST_DATA) + "/" + relative;
}

inline std::string Fixture(const std::string& relative) {
    auto text = kvlinux::ReadFileText(DataPath(relative));
    if (!text)
        throw std::runtime_error("missing fixture " + relative);
    return *text;
}

// Runs a shell command and returns its standard output; nullopt when it cannot run or
// exits with a failure.
inline std::optional<std::string> RunCommand(const std::string& command) {
    kvtest::CommandRun run = kvtest::RunCommand(command);
    if (run.status != 0)
        return std::nullopt;
    return std::move(run.output);
}

}  // namespace kvwmitest
