// The helper functions every VBScript text is given, and the marker lines that keep them out.
#include "script/predefined_functions.h"
#include "kvwin/wide_string.h"

// clang-format off: the blocks are kept one script line to one literal.
namespace {

// Helpers over values and result sets: escaping for XML attributes, and the row elements a
// script returns, built from a dictionary of row dictionaries.
constexpr const WCHAR kPredefinedBlock[] = TEXT("\n") TEXT("'Predefined functions\n")
    TEXT("Function NrvInv_ReplaceIllegalCharacters(value)\n")
        TEXT("\tvalue = Replace(value, \"&\", \"&amp;\")\n") TEXT(
            "\tvalue = Replace(value, \"<\", \"&lt;\")\n")
            TEXT("\tvalue = Replace(value, \">\", \"&gt;\")\n") TEXT(
                "\tvalue = Replace(value, \"'\", \"&apos;\")\n")
                TEXT("\tvalue = Replace(value, \"\"\"\", \"&quot;\")\n") TEXT(
                    "\tNrvInv_ReplaceIllegalCharacters = value\n") TEXT("End function\n") TEXT("\n")
                    TEXT("Function NrvInv_GetDataclassResults(resultSet)\n") TEXT(
                        "\tdim outerKey, rowDictionary\n")
                        TEXT("\tfor each outerKey in resultSet.keys\n") TEXT(
                            "\t\tSet rowDictionary = CreateObject(\"Scripting.Dictionary\")\n")
                            TEXT("\t\tSet rowDictionary = resultSet(outerKey)\n")
                                TEXT("\t\toutResults= outResults & \"<row \"\n") TEXT(
                                    "\t\tFor Each key in rowDictionary.Keys\n")
                                    TEXT("\t\tIf Not IsNull(rowDictionary(key)) Then\n") TEXT(
                                        "\t\t\toutResults = outResults & \" \" & key &\"=\"\"\" & ")
                                        TEXT(
                                            "NrvInv_ReplaceIllegalCharacters(rowDictionary(key)) & "
                                            "\"\"\"\"\n") TEXT("\t\tEnd if\t\n") TEXT("\t\tNext\n")
                                            TEXT("\t\toutResults = outResults & \"/> \"\n")
                                                TEXT("\tNext\n") TEXT(
                                                    "\tNrvInv_GetDataclassResults=outResults\n")
                                                    TEXT("End Function\n");

// Helpers that reach WMI. A script that brings its own versions (a test double, say) carries
// the marker line and is given none of these.
constexpr const WCHAR kMockableBlock[] = TEXT("\n") TEXT("'Mockable predefined functions\n")
    TEXT("\n") TEXT("Function NrvInv_RunWmiQuery(query)\n") TEXT("\tOn Error Resume Next\n")
        TEXT("\tSet NrvInv_RunWmiQuery=Nothing\n")
            TEXT("\tSet objNetwork = CreateObject(\"Wscript.Network\")\n")
                TEXT("\tstrComputer = objNetwork.ComputerName\n") TEXT(
                    "\tSet objWMIService = GetObject(\"winmgmts:\\\\\" & strComputer & "
                    "\"\\root\\cimv2\")\n")
                    TEXT(
                        "\tset NrvInv_RunWmiQuery = objWMIService.ExecQuery(query,\"WQL\", "
                        "wbemFlagReturnImmediately ") TEXT("+ wbemFlagForwardOnly)\n")
                        TEXT("End function\n") TEXT("\n")
                            TEXT("Const HKEY_LOCAL_MACHINE = &H80000002\n") TEXT("\n")
                                TEXT("Function NrvInv_GetRegProvider()\n")
                                    TEXT("\tstrComputer = \".\"\n") TEXT(
                                        "\tSet "
                                        "NrvInv_GetRegProvider=GetObject(\"winmgmts:{"
                                        "impersonationLevel=impersonate}!\\\\\" & ")
                                        TEXT("strComputer & \"\\root\\default:StdRegProv\")\n")
                                            TEXT("End Function\n");

// clang-format on

// The searches look for the marker line with its line feed, anywhere in the text, case
// sensitive: a marker in another case, or at the very end without a line feed, does not count.
constexpr const WCHAR kPredefinedMarker[] = TEXT("'Predefined functions\n");
constexpr const WCHAR kMockableMarker[] = TEXT("'Mockable predefined functions\n");

}  // namespace

WStringView PredefinedFunctionsBlock() {
    return {kPredefinedBlock, std::size(kPredefinedBlock) - 1};
}

WStringView MockablePredefinedFunctionsBlock() {
    return {kMockableBlock, std::size(kMockableBlock) - 1};
}

void AppendPredefinedFunctions(WString& script) {
    if (script.find(kPredefinedMarker) == WString::npos)
        script += PredefinedFunctionsBlock();
    if (script.find(kMockableMarker) == WString::npos)
        script += MockablePredefinedFunctionsBlock();
}
