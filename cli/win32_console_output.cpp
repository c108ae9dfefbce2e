#include "win32_console_output.h"

#include <windows.h>

#include <string>

#include "win32/utf16.h"

namespace brisakett {
namespace {

std::string WithCrLf(std::string_view text) {
  std::string converted;
  converted.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) converted += '\r';
    converted += text[i];
  }
  return converted;
}

void WriteToConsole(HANDLE console, const std::wstring& text) {
  const wchar_t* next = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    DWORD written = 0;
    if (!WriteConsoleW(console, next, static_cast<DWORD>(left), &written, nullptr) ||
        written == 0) {
      return;
    }
    next += written;
    left -= written;
  }
}

void WriteToFile(HANDLE file, const std::string& bytes) {
  const char* next = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(file, next, static_cast<DWORD>(left), &written, nullptr) || written == 0) {
      return;
    }
    next += written;
    left -= written;
  }
}

}  // namespace

Win32ConsoleOutput::Win32ConsoleOutput(unsigned long standardHandle)
    : handle_(GetStdHandle(standardHandle)) {}

void Win32ConsoleOutput::Write(std::string_view text) {
  if (text.empty() || handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return;
  const std::string withCrLf = WithCrLf(text);
  DWORD mode = 0;
  if (GetConsoleMode(handle_, &mode)) {
    WriteToConsole(handle_, WideFromUtf8(withCrLf));
  } else {
    WriteToFile(handle_, withCrLf);
  }
}

}  // namespace brisakett
