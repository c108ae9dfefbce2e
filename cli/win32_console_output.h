#pragma once

#include "text_output.h"

namespace brisakett {

// Standard output or standard error of a Windows console program, written
// as UTF-8 text. A console window gets the text through WriteConsoleW, so
// it shows "ü" whatever the console's code page; a file or pipe gets the
// UTF-8 bytes. Line ends go out as CR LF, as Windows programs write them.
class Win32ConsoleOutput final : public TextOutput {
public:
  // `standardHandle` is STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
  explicit Win32ConsoleOutput(unsigned long standardHandle);

  void Write(std::string_view text) override;

private:
  void* handle_;
};

}  // namespace brisakett
