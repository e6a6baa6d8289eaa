// The message tables built into the layer, compiled from tables/*.mc by the build.
// Each is made on first use and never destroyed, so texts stay available to code that
// runs while the process exits.
#include "kvwin/message_text.h"
#include "message_table.h"

namespace {

#include "internet_messages.inc"
#include "internet_names.inc"
#include "system_messages.inc"
#include "system_names.inc"
#include "wmi_messages.inc"
#include "wmi_names.inc"

kvwin::messages::MessageTable Compiled(const unsigned char* bytes, size_t size) {
    kvwin::messages::MessageTable table;
    table.ParseCompiled({bytes, size});  // the build checked these; a failure leaves it empty
    return table;
}

}  // namespace

namespace kvwin::messages {

const MessageTable& SystemTable() {
    static const MessageTable* table =
        new MessageTable(Compiled(kSystemMessages, sizeof kSystemMessages));
    return *table;
}

const MessageTable& WmiTable() {
    static const MessageTable* table =
        new MessageTable(Compiled(kWmiMessages, sizeof kWmiMessages));
    return *table;
}

const MessageTable& InternetTable() {
    static const MessageTable* table =
        new MessageTable(Compiled(kInternetMessages, sizeof kInternetMessages));
    return *table;
}

}  // namespace kvwin::messages

namespace kvwin {

const char* MessageSymbolicName(DWORD id) {
    for (const messages::MessageName* names : {kSystemNames, kWmiNames, kInternetNames}) {
        for (; names->name; ++names) {
            if (names->id == id)
                return names->name;
        }
    }
    return nullptr;
}

}  // namespace kvwin
