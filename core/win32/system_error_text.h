#pragma once

#include <string>

namespace brisakett {

// The system's own words for a Windows error code, without the line break
// that FormatMessage puts after them.
std::string SystemErrorText(unsigned long code);

}  // namespace brisakett
