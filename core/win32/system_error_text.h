#pragma once

#include <windows.h>

#include <string>

namespace brisakett {

// The system's own words for an error code, without the line break that
// FormatMessage puts after them.
std::string SystemErrorText(DWORD code);

}  // namespace brisakett
