#include "file_descriptor_output.h"

#include <unistd.h>

#include <cerrno>

namespace brisakett {

void FileDescriptorOutput::Write(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fileDescriptor_, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    // A closed pipe or a full disk: there is no one left to tell.
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace brisakett
