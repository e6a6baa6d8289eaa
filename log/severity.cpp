#include "log/severity.h"

#include "log/agent_log.h"

ResolvedSeverity ResolveSeverity(uint32_t severity, uint32_t overrideWord) {
    const bool overridden = overrideWord != kNoLogOverride;
    const uint32_t control = overridden ? overrideWord : severity;
    uint32_t level = severity & 0xFF;
    switch ((control & LogModeMask) >> 20) {
        case 1:
            level = LogTrace;
            break;
        case 2:
            if (level <= LogError)
                level = LogInformation;
            break;
        default:
            break;
    }
    if (level < 1)
        level = 1;
    if (level > 32)
        level = 32;
    return {level, control & LogFlagMask, overridden ? (overrideWord & 0xFF) : 0};
}

const WCHAR* SeverityTag(uint32_t level) {
    switch (level) {
        case LogError:
            return TEXT("*ERRR");
        case LogWarning:
            return TEXT("*WARN");
        case LogInformation:
            return TEXT(" INFO");
        case LogTrace:
            return TEXT("<TRC>");
        case LogVerbose:
            return TEXT("<VRB>");
        case LogDebug:
            return TEXT("<DBG>");
        default:
            return TEXT("?UNKN");
    }
}

uint32_t ParseLogOverride(const WCHAR* text) {
    // As swscanf with "%08X": white space, an optional sign and "0x", then up to eight hex
    // digits; at least one digit makes the one field.
    if (!text)
        return kNoLogOverride;
    const WCHAR* at = text;
    while (*at == TEXT(' ') || (*at >= TEXT('\t') && *at <= TEXT('\r')))
        ++at;
    int width = 8;
    bool negative = false;
    if (*at == TEXT('+') || *at == TEXT('-')) {
        negative = *at == TEXT('-');
        ++at;
        --width;
    }
    if (width >= 2 && at[0] == TEXT('0') && (at[1] == TEXT('x') || at[1] == TEXT('X'))) {
        at += 2;
        width -= 2;
    }
    uint32_t value = 0;
    int digits = 0;
    for (; digits < width; ++digits, ++at) {
        const WCHAR c = *at;
        uint32_t d;
        if (c >= TEXT('0') && c <= TEXT('9'))
            d = c - TEXT('0');
        else if (c >= TEXT('a') && c <= TEXT('f'))
            d = c - TEXT('a') + 10;
        else if (c >= TEXT('A') && c <= TEXT('F'))
            d = c - TEXT('A') + 10;
        else
            break;
        value = value * 16 + d;
    }
    if (digits == 0)
        return kNoLogOverride;
    if (negative)
        value = 0u - value;
    return value & 0x0FF000FF;
}
