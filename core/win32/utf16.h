#pragma once

#include <string>
#include <string_view>

namespace brisakett {

// The program keeps text as UTF-8; the W functions of Windows take UTF-16.
// Names cross over through these two, never through the ANSI code page,
// which cannot hold every printer's or folder's name. Invalid input
// becomes U+FFFD, which names nothing that exists.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

}  // namespace brisakett
