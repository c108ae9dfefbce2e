#pragma once

#include "text_output.h"

namespace brisakett {

// Standard output or standard error of the POSIX program, written with
// write(2).
class FileDescriptorOutput final : public TextOutput {
public:
  explicit FileDescriptorOutput(int fileDescriptor) : fileDescriptor_(fileDescriptor) {}

  void Write(std::string_view text) override;

private:
  int fileDescriptor_;
};

}  // namespace brisakett
