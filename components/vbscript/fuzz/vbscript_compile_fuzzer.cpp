// Arbitrary text as a VBScript block: the lexer, parser and compiler must never crash, leak
// or recurse without bound; every input ends compiled or as a compile error.
//
// The input's bytes are read as UTF-16 code units (invalid sequences included) when it
// starts with a byte order mark, as Latin-1 otherwise (so the corpus stays readable). Each
// input gets a fresh runtime; nothing runs.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "errors.h"
#include "interpreter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text;
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        text.resize((size - 2) / 2);
        std::memcpy(text.data(), data + 2, text.size() * 2);
    } else {
        text.assign(data, data + size);
    }
    auto runtime =
        std::make_shared<kvvbs::Runtime>(nullptr, std::make_shared<kvvbs::InterruptSignal>());
    try {
        runtime->Compile(text, 0, 0);
        // A second block over the first: names declared there are known here.
        runtime->Compile(text, 0, 0);
    } catch (const kvvbs::ScriptError& e) {
        if (!e.compile && e.number != kvvbs::kErrOutOfMemory)
            __builtin_trap();  // compiling raises compile errors only
    }
    return 0;
}
