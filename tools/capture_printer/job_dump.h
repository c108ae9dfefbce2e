#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace brisakett::tools {

// What the capture printer shows for one received job: a heading with its
// number and size, the bytes as a hex dump, and the bytes as text with the
// control characters spelt out (<ESC>, <CR>, <LF>, <0x07>).
std::string DescribeJob(std::size_t number, std::string_view bytes);

}  // namespace brisakett::tools
