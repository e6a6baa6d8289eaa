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
            return u"*ERRR";
        case LogWarning:
            return u"*WARN";
        case LogInformation:
            return u" INFO";
        case LogTrace:
            return u"<TRC>";
        case LogVerbose:
            return u"<VRB>";
        case LogDebug:
            return u"<DBG>";
        default:
            return u"?UNKN";
    }
}

uint32_t ParseLogOverride(const WCHAR* text) {
    // As swscanf with "%08X": white space, an optional sign and "0x", then up to eight hex
    // digits; at least one digit makes the one field.
    if (!text)
        return kNoLogOverride;
    const WCHAR* at = text;
    while (*at == u' ' || (*at >= u'\t' && *at <= u'\r'))
        ++at;
    int width = 8;
    bool negative = false;
    if (*at == u'+' || *at == u'-') {
        negative = *at == u'-';
        ++at;
        --width;
    }
    if (width >= 2 && at[0] == u'0' && (at[1] == u'x' || at[1] == u'X')) {
        at += 2;
        width -= 2;
    }
    uint32_t value = 0;
    int digits = 0;
    for (; digits < width; ++digits, ++at) {
        const WCHAR c = *at;
        uint32_t d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'a' && c <= u'f')
            d = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            d = c - u'A' + 10;
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
