#include "print_server.h"

namespace brisakett {

// The spooler names a printer shared from another machine
// "\\server\printer", the name it was connected by; its own are plain.
std::string PrintServerOf(const std::string& deviceName) {
  if (deviceName.starts_with("\\\\")) {
    const std::string::size_type end = deviceName.find('\\', 2);
    if (end != std::string::npos && end > 2) return deviceName.substr(2, end - 2);
  }
  return "localhost";
}

}  // namespace brisakett
