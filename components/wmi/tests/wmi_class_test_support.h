// Helpers for the class tests: fill a registered class, read one property of an instance,
// find the fixture files, run a command and capture its output.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "kvwin/utf.h"
#include "linux/text_util.h"
#include "provider/class_decl.h"

namespace kvwmitest {

inline const kvwmi::ClassDecl& Class(std::u16string_view name) {
    const kvwmi::ClassDecl* decl = kvwmi::FindClass(u"root\\cimv2", name);
    if (!decl)
        throw std::runtime_error("class not registered: " + kvwin::ToUtf8(name));
    return *decl;
}

inline std::vector<kvwmi::Instance> Fill(const kvwmi::ClassDecl& decl) {
    std::vector<kvwmi::Instance> out;
    decl.fill(decl, out);
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
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe)
        return std::nullopt;
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0)
        out.append(buffer, n);
    int status = ::pclose(pipe.release());
    if (status != 0)
        return std::nullopt;
    return out;
}

}  // namespace kvwmitest
