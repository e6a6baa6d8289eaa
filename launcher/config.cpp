#include "launcher/config.h"

// TODO: the launcher road; until it exists every out-of-process query fails.
bool CConfig::Lumbrik(const std::u16string& input, std::u16string& output) {
    (void)input;
    (void)output;
    return false;
}
