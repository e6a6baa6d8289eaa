// Texts for HRESULTs: the installed provider, then our own short texts for the codes the
// COM runtime and Automation produce.
#include <atomic>
#include <cstdio>

#include "kvwin/com_error_text.h"
#include "kvwin/utf.h"
#include "win/errors.h"

namespace kvwin {

namespace {

std::atomic<HresultTextProvider> g_provider{nullptr};

struct BuiltinText {
    HRESULT hr;
    const char16_t* text;
};

const BuiltinText kTexts[] = {
    {S_OK, u"The operation completed successfully."},
    {S_FALSE, u"The operation completed, with a false result."},
    {E_UNEXPECTED, u"Catastrophic failure"},
    {E_NOTIMPL, u"Not implemented"},
    {E_OUTOFMEMORY, u"Not enough memory is available to complete this operation."},
    {E_INVALIDARG, u"The parameter is incorrect."},
    {E_NOINTERFACE, u"No such interface supported"},
    {E_POINTER, u"Invalid pointer"},
    {E_HANDLE, u"The handle is invalid."},
    {E_ABORT, u"Operation aborted"},
    {E_FAIL, u"Unspecified error"},
    {E_ACCESSDENIED, u"Access is denied."},
    {E_PENDING, u"The data necessary to complete this operation is not yet available."},
    {CO_E_NOTINITIALIZED, u"CoInitialize has not been called."},
    {CO_E_ALREADYINITIALIZED, u"CoInitialize has already been called."},
    {CO_E_CLASSSTRING, u"Invalid class string"},
    {CO_E_DLLNOTFOUND, u"The server module could not be found."},
    {CO_E_ERRORINDLL, u"The server module has an error in its image."},
    {CO_E_SERVER_EXEC_FAILURE, u"Server execution failed"},
    {RPC_E_CHANGED_MODE, u"Cannot change thread mode after it is set."},
    {RPC_E_WRONG_THREAD,
     u"The application called an interface that was marshalled for a different thread."},
    {CLASS_E_NOAGGREGATION, u"Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, u"ClassFactory cannot supply requested class"},
    {REGDB_E_CLASSNOTREG, u"Class not registered"},
    {REGDB_E_READREGDB, u"Could not read key from registry"},
    {REGDB_E_WRITEREGDB, u"Could not write key to registry"},
    {REGDB_E_IIDNOTREG, u"Interface not registered"},
    {DISP_E_UNKNOWNINTERFACE, u"Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, u"Member not found."},
    {DISP_E_PARAMNOTFOUND, u"Parameter not found."},
    {DISP_E_TYPEMISMATCH, u"Type mismatch."},
    {DISP_E_UNKNOWNNAME, u"Unknown name."},
    {DISP_E_NONAMEDARGS, u"No named arguments."},
    {DISP_E_BADVARTYPE, u"Bad variable type."},
    {DISP_E_EXCEPTION, u"Exception occurred."},
    {DISP_E_OVERFLOW, u"Out of present range."},
    {DISP_E_BADINDEX, u"Invalid index."},
    {DISP_E_UNKNOWNLCID, u"Unknown language."},
    {DISP_E_ARRAYISLOCKED, u"Memory is locked."},
    {DISP_E_BADPARAMCOUNT, u"Invalid number of parameters."},
    {DISP_E_PARAMNOTOPTIONAL, u"Parameter not optional."},
    {DISP_E_DIVBYZERO, u"Division by zero."},
    {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), u"The system cannot find the file specified."},
    {HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), u"The specified module could not be found."},
    {HRESULT_FROM_WIN32(ERROR_BAD_EXE_FORMAT), u"The module is not a valid shared object."},
};

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
        for (const auto& entry : kTexts) {
            if (entry.hr == hr) {
                text = entry.text;
                found = true;
                break;
            }
        }
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
