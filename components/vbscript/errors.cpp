// Error numbers and texts.
#include "errors.h"

namespace kvvbs {

std::u16string ErrorText(int number) {
    struct Entry {
        int number;
        const char16_t* text;
    };
    static const Entry kTexts[] = {
        {5, u"Invalid procedure call or argument"},
        {6, u"Overflow"},
        {7, u"Out of memory"},
        {9, u"Subscript out of range"},
        {10, u"This array is fixed or temporarily locked"},
        {11, u"Division by zero"},
        {13, u"Type mismatch"},
        {14, u"Out of string space"},
        {28, u"Out of stack space"},
        {35, u"Sub or Function not defined"},
        {48, u"Error in loading DLL"},
        {51, u"Internal error"},
        {91, u"Object variable not set"},
        {92, u"For loop not initialized"},
        {94, u"Invalid use of Null"},
        {424, u"Object required"},
        {429, u"ActiveX component can't create object"},
        {430, u"Class doesn't support Automation"},
        {432, u"File name or class name not found during Automation operation"},
        {438, u"Object doesn't support this property or method"},
        {445, u"Object doesn't support this action"},
        {446, u"Object doesn't support named arguments"},
        {448, u"Named argument not found"},
        {449, u"Argument not optional"},
        {450, u"Wrong number of arguments or invalid property assignment"},
        {451, u"Object not a collection"},
        {500, u"Variable is undefined"},
        {501, u"Illegal assignment"},
        {502, u"Object not safe for scripting"},
        {505, u"Invalid or unqualified reference"},
        {506, u"Class not defined"},
        {1001, u"Out of memory"},
        {1002, u"Syntax error"},
        {1005, u"Expected '('"},
        {1006, u"Expected ')'"},
        {1010, u"Expected identifier"},
        {1011, u"Expected '='"},
        {1012, u"Expected 'If'"},
        {1013, u"Expected 'To'"},
        {1014, u"Expected 'End'"},
        {1015, u"Expected 'Function'"},
        {1016, u"Expected 'Sub'"},
        {1017, u"Expected 'Then'"},
        {1018, u"Expected 'Wend'"},
        {1019, u"Expected 'Loop'"},
        {1020, u"Expected 'Next'"},
        {1021, u"Expected 'Case'"},
        {1022, u"Expected 'Select'"},
        {1023, u"Expected expression"},
        {1024, u"Expected statement"},
        {1025, u"Expected end of statement"},
        {1032, u"Invalid character"},
        {1033, u"Unterminated string constant"},
        {1035, u"'Exit Do' outside of a loop"},
        {1036, u"'Exit For' outside of a loop"},
        {1037, u"Invalid use of 'Me' keyword"},
        {1041, u"Name redefined"},
    };
    for (const auto& e : kTexts) {
        if (e.number == number)
            return e.text;
    }
    return u"";
}

int ErrorNumberForHresult(HRESULT hr) {
    if ((unsigned(hr) & 0xFFFF0000u) == 0x800A0000u)
        return int(unsigned(hr) & 0xFFFFu);
    switch (hr) {
        case DISP_E_MEMBERNOTFOUND:
        case DISP_E_UNKNOWNNAME:
            return 438;
        case DISP_E_BADPARAMCOUNT:
            return 450;
        case DISP_E_TYPEMISMATCH:
            return 13;
        case DISP_E_OVERFLOW:
            return 6;
        case DISP_E_BADINDEX:
            return 9;
        case DISP_E_PARAMNOTOPTIONAL:
            return 449;
        case DISP_E_NONAMEDARGS:
            return 446;
        case DISP_E_DIVBYZERO:
            return 11;
        case E_OUTOFMEMORY:
            return 7;
        case E_INVALIDARG:
            return 5;
        case E_NOINTERFACE:
            return 430;
        case CO_E_CLASSSTRING:
        case REGDB_E_CLASSNOTREG:
            return 429;
        default:
            return int(hr);
    }
}

void Throw(int number) {
    ScriptError e;
    e.number = number;
    throw e;
}

void Throw(int number, std::u16string description) {
    ScriptError e;
    e.number = number;
    e.description = std::move(description);
    throw e;
}

void ThrowInvalidNull() {
    Throw(94, u"Invalid use of Null");
}

}  // namespace kvvbs
