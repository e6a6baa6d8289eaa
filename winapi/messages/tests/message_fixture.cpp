// A shared object with a message table in its ".kavrel_messages" section, for the tests
// of FormatMessageW over loaded modules.
#include "fixture_messages.inc"

extern "C" __attribute__((visibility("default"))) int MessageFixtureAnswer() {
    return 7;
}
