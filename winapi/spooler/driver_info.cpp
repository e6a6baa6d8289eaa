// DRIVER_INFO layouts. Levels 2, 3, 4 and 6 extend one another field by field, so one
// writer fills a DRIVER_INFO_6W's worth of fields and stops where the level's structure ends.
#include "driver_info.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace kvwin {

namespace {

size_t StructSize(DWORD level) {
    switch (level) {
        case 1:
            return sizeof(DRIVER_INFO_1W);
        case 2:
            return sizeof(DRIVER_INFO_2W);
        case 3:
            return sizeof(DRIVER_INFO_3W);
        case 4:
            return sizeof(DRIVER_INFO_4W);
        default:
            return sizeof(DRIVER_INFO_6W);
    }
}

// A text field of DRIVER_INFO_6W, its offset and value.
struct TextField {
    size_t offset;
    const std::u16string* text;
};

// The text fields a level has, in structure order. Level 1 has the name alone, at offset 0.
std::vector<TextField> TextFields(const DriverFacts& f, DWORD level) {
    if (level == 1)
        return {{offsetof(DRIVER_INFO_1W, pName), &f.name}};
    const auto opt = [](const std::optional<std::u16string>& v) { return v ? &*v : nullptr; };
    std::vector<TextField> all = {
        {offsetof(DRIVER_INFO_6W, pName), &f.name},
        {offsetof(DRIVER_INFO_6W, pEnvironment), &f.environment},
        {offsetof(DRIVER_INFO_6W, pDriverPath), &f.driverPath},
        {offsetof(DRIVER_INFO_6W, pDataFile), &f.dataFile},
        {offsetof(DRIVER_INFO_6W, pConfigFile), &f.configFile},
        {offsetof(DRIVER_INFO_6W, pHelpFile), opt(f.helpFile)},
        {offsetof(DRIVER_INFO_6W, pDependentFiles), opt(f.dependentFiles)},
        {offsetof(DRIVER_INFO_6W, pMonitorName), opt(f.monitorName)},
        {offsetof(DRIVER_INFO_6W, pDefaultDataType), &f.defaultDataType},
        {offsetof(DRIVER_INFO_6W, pszzPreviousNames), opt(f.previousNames)},
        {offsetof(DRIVER_INFO_6W, pszMfgName), opt(f.manufacturer)},
        {offsetof(DRIVER_INFO_6W, pszOEMUrl), opt(f.oemUrl)},
        {offsetof(DRIVER_INFO_6W, pszHardwareID), opt(f.hardwareId)},
        {offsetof(DRIVER_INFO_6W, pszProvider), opt(f.provider)},
    };
    std::vector<TextField> fields;
    for (const TextField& field : all) {
        if (field.offset < StructSize(level))
            fields.push_back(field);
    }
    return fields;
}

// Multi-strings (dependent files, previous names) carry their own inner NULs and end in
// two; every text gets one more NUL here.
size_t TextBytes(const std::u16string& text) {
    return (text.size() + 1) * sizeof(WCHAR);
}

}  // namespace

bool IsDriverInfoLevel(DWORD level) {
    return level == 1 || level == 2 || level == 3 || level == 4 || level == 6;
}

DWORD DriverInfoSize(const DriverFacts& facts, DWORD level) {
    size_t size = StructSize(level);
    for (const TextField& field : TextFields(facts, level)) {
        if (field.text)
            size += TextBytes(*field.text);
    }
    return static_cast<DWORD>(size);
}

void WriteDriverInfo(const DriverFacts& facts, DWORD level, BYTE* buffer) {
    const size_t structSize = StructSize(level);
    std::memset(buffer, 0, structSize);
    if (level != 1)
        std::memcpy(buffer + offsetof(DRIVER_INFO_6W, cVersion), &facts.version, sizeof(DWORD));
    if (level == 6) {
        std::memcpy(buffer + offsetof(DRIVER_INFO_6W, ftDriverDate), &facts.date, sizeof(FILETIME));
        std::memcpy(buffer + offsetof(DRIVER_INFO_6W, dwlDriverVersion), &facts.driverVersion,
                    sizeof(DWORDLONG));
    }
    BYTE* next = buffer + structSize;
    for (const TextField& field : TextFields(facts, level)) {
        LPWSTR pointer = nullptr;
        if (field.text) {
            pointer = reinterpret_cast<LPWSTR>(next);
            std::memcpy(next, field.text->c_str(), TextBytes(*field.text));
            next += TextBytes(*field.text);
        }
        std::memcpy(buffer + field.offset, &pointer, sizeof pointer);
    }
}

}  // namespace kvwin
