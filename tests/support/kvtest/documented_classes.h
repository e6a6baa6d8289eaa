// The property lists Windows documents for the WMI classes we serve
// (components/wmi/tests/data/documented-properties.txt): one section per class,
// "[namespace Class]", then one "<type> <name>" line per property in the documented order,
// "[]" after an array's type; '#' starts a comment line.
#pragma once

#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvtest {

struct DocumentedClass {
    std::string ns, name;
    std::vector<std::pair<std::string, std::string>> properties;  // name, type as written
};

inline std::vector<DocumentedClass> ParseDocumentedClasses(const std::string& text) {
    std::vector<DocumentedClass> classes;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const bool header = line[0] == '[';
        std::istringstream fields(header ? line.substr(1, line.size() - 2) : line);
        std::string first, second, rest;
        if (!(fields >> first >> second) || (fields >> rest) || (!header && classes.empty()))
            throw std::runtime_error("documented classes: bad line: " + line);
        if (header)
            classes.push_back({first, second, {}});
        else
            classes.back().properties.emplace_back(second, first);
    }
    return classes;
}

}  // namespace kvtest
