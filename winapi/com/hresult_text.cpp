// Texts for HRESULTs: the installed provider, then the system message table (the one home
// of the layer's message texts, winapi/messages/tables/system.mc).
#include <atomic>
#include <cstdio>

#include "kvwin/com_error_text.h"
#include "kvwin/message_text.h"
#include "kvwin/utf.h"
#include "win/errors.h"

namespace kvwin {

namespace {

std::atomic<HresultTextProvider> g_provider{nullptr};

}  // namespace

HresultTextProvider SetHresultTextProvider(HresultTextProvider provider) {
    return g_provider.exchange(provider);
}

bool KnownHresultText(HRESULT hr, std::u16string& text) {
    text.clear();
    bool found = false;
    if (HresultTextProvider provider = g_provider.load()) {
        try {
            found = provider(hr, text);
        } catch (...) {
            found = false;
        }
    }
    if (!found) {
        text.clear();
        found = SystemMessageText(static_cast<DWORD>(hr), 0, text) == 0;
    }
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r'))
        text.pop_back();
    return found;
}

std::u16string HresultText(HRESULT hr) {
    std::u16string text;
    if (KnownHresultText(hr, text))
        return text;
    char buf[40];
    std::snprintf(buf, sizeof buf, "Unknown error 0x%08lX", (unsigned long)(ULONG)hr);
    return FromUtf8(buf);
}

}  // namespace kvwin
