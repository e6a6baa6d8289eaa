// The helper functions every VBScript text is given, and the marker lines that keep them out.
#include "script/predefined_functions.h"

// clang-format off: the blocks are kept one script line to one literal.
namespace {

// Helpers over values and result sets: escaping for XML attributes, and the row elements a
// script returns, built from a dictionary of row dictionaries.
constexpr const WCHAR kPredefinedBlock[] =
    u"\n"
    u"'Predefined functions\n"
    u"Function NrvInv_ReplaceIllegalCharacters(value)\n"
    u"\tvalue = Replace(value, \"&\", \"&amp;\")\n"
    u"\tvalue = Replace(value, \"<\", \"&lt;\")\n"
    u"\tvalue = Replace(value, \">\", \"&gt;\")\n"
    u"\tvalue = Replace(value, \"'\", \"&apos;\")\n"
    u"\tvalue = Replace(value, \"\"\"\", \"&quot;\")\n"
    u"\tNrvInv_ReplaceIllegalCharacters = value\n"
    u"End function\n"
    u"\n"
    u"Function NrvInv_GetDataclassResults(resultSet)\n"
    u"\tdim outerKey, rowDictionary\n"
    u"\tfor each outerKey in resultSet.keys\n"
    u"\t\tSet rowDictionary = CreateObject(\"Scripting.Dictionary\")\n"
    u"\t\tSet rowDictionary = resultSet(outerKey)\n"
    u"\t\toutResults= outResults & \"<row \"\n"
    u"\t\tFor Each key in rowDictionary.Keys\n"
    u"\t\tIf Not IsNull(rowDictionary(key)) Then\n"
    u"\t\t\toutResults = outResults & \" \" & key &\"=\"\"\" & "
    u"NrvInv_ReplaceIllegalCharacters(rowDictionary(key)) & \"\"\"\"\n"
    u"\t\tEnd if\t\n"
    u"\t\tNext\n"
    u"\t\toutResults = outResults & \"/> \"\n"
    u"\tNext\n"
    u"\tNrvInv_GetDataclassResults=outResults\n"
    u"End Function\n";

// Helpers that reach WMI. A script that brings its own versions (a test double, say) carries
// the marker line and is given none of these.
constexpr const WCHAR kMockableBlock[] =
    u"\n"
    u"'Mockable predefined functions\n"
    u"\n"
    u"Function NrvInv_RunWmiQuery(query)\n"
    u"\tOn Error Resume Next\n"
    u"\tSet NrvInv_RunWmiQuery=Nothing\n"
    u"\tSet objNetwork = CreateObject(\"Wscript.Network\")\n"
    u"\tstrComputer = objNetwork.ComputerName\n"
    u"\tSet objWMIService = GetObject(\"winmgmts:\\\\\" & strComputer & \"\\root\\cimv2\")\n"
    u"\tset NrvInv_RunWmiQuery = objWMIService.ExecQuery(query,\"WQL\", wbemFlagReturnImmediately "
    u"+ wbemFlagForwardOnly)\n"
    u"End function\n"
    u"\n"
    u"Const HKEY_LOCAL_MACHINE = &H80000002\n"
    u"\n"
    u"Function NrvInv_GetRegProvider()\n"
    u"\tstrComputer = \".\"\n"
    u"\tSet NrvInv_GetRegProvider=GetObject(\"winmgmts:{impersonationLevel=impersonate}!\\\\\" & "
    u"strComputer & \"\\root\\default:StdRegProv\")\n"
    u"End Function\n";

// clang-format on

// The searches look for the marker line with its line feed, anywhere in the text, case
// sensitive: a marker in another case, or at the very end without a line feed, does not count.
constexpr const WCHAR kPredefinedMarker[] = u"'Predefined functions\n";
constexpr const WCHAR kMockableMarker[] = u"'Mockable predefined functions\n";

}  // namespace

std::u16string_view PredefinedFunctionsBlock() {
    return {kPredefinedBlock, std::size(kPredefinedBlock) - 1};
}

std::u16string_view MockablePredefinedFunctionsBlock() {
    return {kMockableBlock, std::size(kMockableBlock) - 1};
}

void AppendPredefinedFunctions(std::u16string& script) {
    if (script.find(kPredefinedMarker) == std::u16string::npos)
        script += PredefinedFunctionsBlock();
    if (script.find(kMockableMarker) == std::u16string::npos)
        script += MockablePredefinedFunctionsBlock();
}
