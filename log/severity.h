// From a call's severity word to the level and flags a record is made with.
#pragma once

#include <cstdint>

#include "win/types.h"

// The override word when the process has none.
inline constexpr uint32_t kNoLogOverride = 0xFFFFFFFF;

struct ResolvedSeverity {
    uint32_t level;      // 1..32: filtered on, shown as a tag, written as the record's severity
    uint32_t flags;      // LogToInstallLog, LogSuppress, LogToConsole (bits 24-27)
    uint32_t extraMask;  // levels the override adds to the configured mask
};

// Applies the override word (kNoLogOverride: none) and the mode, then clamps the level.
ResolvedSeverity ResolveSeverity(uint32_t severity, uint32_t overrideWord);

// The five-character tag of a level for install-log and console lines: "*ERRR", " INFO", ...;
// "?UNKN" for a value that is not a single level.
const WCHAR* SeverityTag(uint32_t level);

// Reads the override from its environment variable's text ("%08X", one field), masked with
// 0x0FF000FF; kNoLogOverride when the text does not parse.
uint32_t ParseLogOverride(const WCHAR* text);
