// kavrel-reg's output files (.reg exports, registration files). The tool runs as root and
// may be told to write into a folder other users can write, such as /tmp: the text goes to
// a file made exclusively beside the target, which then takes the target's name. A link
// planted at the target is replaced, never followed; nothing else is opened by name.
#pragma once

#include <string>
#include <string_view>

namespace kavrel_reg {

// Writes `text` as the file `path`. False with the reason in `why` (the target is left as it
// was, and no temporary file stays behind).
bool WriteOutputFile(const std::string& path, std::string_view text, std::string& why);

}  // namespace kavrel_reg
