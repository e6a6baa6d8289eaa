// A script query: a VBScript or JScript text and the function in it whose return value, as
// text, is the query's output. Created by the driver for one call and used by that call's
// thread only.
//
// The query element it reads (all four values required, none checked beyond presence):
//
//   <query scriptType="jscript" function="Collect" timeout="30000">
//     <scriptText>function Collect() { return "<row name=\"x\"/>"; }</scriptText>
//   </query>
//
// "scriptType" is "vbscript" or "jscript" in any case (any other type runs nothing and gives
// an empty output); "function" is called without arguments; "timeout" is the time limit in
// milliseconds (see ScriptTimeLimit). The function's value is the body of the result document
// unchanged, so the script builds the row elements itself; VBScript texts are given helper
// functions for this (script/predefined_functions.h).
#pragma once

#include <string>

#include "entry/query.h"
#include "kvwin/wide_string.h"

class CScriptQuery : public CQuery {
  public:
    CScriptQuery() = default;
    ~CScriptQuery() override = default;

    // Reads the four values. 1 when all were read; E_FAIL, with a trace line naming the
    // first missing one, otherwise; a failure code when reading raised.
    HRESULT Initialize(IXMLDOMElementPtr& query) override;
    // Runs the script (script/script_runner.h) and stores the function's value as text; a
    // script that fails, is cancelled or runs out of time gives S_OK and an empty text.
    // E_UNEXPECTED (0x8000FFFF), logged as "UnKnown error", when the value has no text form
    // (an array, say) or anything else is raised.
    HRESULT Execute(WString& output) override;

  private:
    WString m_scriptType;
    WString m_scriptText;
    WString m_functionName;
    WString m_timeout;
};

// The time limit a "timeout" text gives, in milliseconds: the text read as _wtoi reads it
// (leading blanks and a sign, digits up to the first other character), 0 (so also a text
// without digits) meaning 10000, and the number then taken as unsigned, so that -1 is
// 0xFFFFFFFF: no limit.
DWORD ScriptTimeLimit(const WString& text);
