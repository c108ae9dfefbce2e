#pragma once

// brisakett-send's report, read back as a script would.

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace brisakett::testing {

// Each text line's tab-separated fields by printer name (the first
// field), the summary line under "summary".
inline std::map<std::string, std::vector<std::string>> LinesByName(const std::string& out) {
  std::map<std::string, std::vector<std::string>> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.empty()) continue;
    lines[line.rfind("summary: ", 0) == 0 ? "summary" : fields.front()] = fields;
  }
  return lines;
}

}  // namespace brisakett::testing
