// kavrel-reg's module verbs: register and unregister a component module's classes, and write
// the registration file the build puts beside the layer.
#pragma once

#include <string>

namespace kavrel_reg {

// Loads the module at `path`, reads its declared classes and writes (`add`) or removes their
// registrations in the machine hive, naming the module by its absolute path. 0 on success;
// otherwise a message on standard error and 1.
int RegisterModule(const std::string& path, bool add);

// Writes the registration file of the module at `path` to `out` ("-": standard output).
int WriteClassFile(const std::string& path, const std::string& out);

}  // namespace kavrel_reg
