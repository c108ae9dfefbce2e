#pragma once

#include <streambuf>
#include <string>

namespace brisakett {

// Standard output or standard error of a Windows console program, written
// as UTF-8 text. A console window gets the text through WriteConsoleW, so
// it shows "ü" whatever the console's code page; a file or pipe gets the
// UTF-8 bytes. Line ends go out as CR LF, as Windows programs write them.
// The text is held until the stream is flushed, so no character is split.
class Win32ConsoleBuffer final : public std::streambuf {
public:
  // `standardHandle` is STD_OUTPUT_HANDLE or STD_ERROR_HANDLE.
  explicit Win32ConsoleBuffer(unsigned long standardHandle);
  ~Win32ConsoleBuffer() override;

  Win32ConsoleBuffer(const Win32ConsoleBuffer&) = delete;
  Win32ConsoleBuffer& operator=(const Win32ConsoleBuffer&) = delete;

protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

private:
  void* handle_;
  std::string pending_;
};

}  // namespace brisakett
