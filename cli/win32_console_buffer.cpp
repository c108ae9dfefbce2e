#include "win32_console_buffer.h"

#include <windows.h>

#include "win32/utf16.h"

namespace brisakett {
namespace {

std::string WithCrLf(const std::string& text) {
  std::string converted;
  converted.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) converted += '\r';
    converted += text[i];
  }
  return converted;
}

bool WriteToConsole(HANDLE console, const std::wstring& text) {
  const wchar_t* next = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    DWORD written = 0;
    if (!WriteConsoleW(console, next, static_cast<DWORD>(left), &written, nullptr) ||
        written == 0) {
      return false;
    }
    next += written;
    left -= written;
  }
  return true;
}

bool WriteToFile(HANDLE file, const std::string& bytes) {
  const char* next = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    DWORD written = 0;
    if (!WriteFile(file, next, static_cast<DWORD>(left), &written, nullptr) || written == 0) {
      return false;
    }
    next += written;
    left -= written;
  }
  return true;
}

}  // namespace

Win32ConsoleBuffer::Win32ConsoleBuffer(unsigned long standardHandle)
    : handle_(GetStdHandle(standardHandle)) {}

Win32ConsoleBuffer::~Win32ConsoleBuffer() { sync(); }

Win32ConsoleBuffer::int_type Win32ConsoleBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  pending_ += traits_type::to_char_type(c);
  return c;
}

std::streamsize Win32ConsoleBuffer::xsputn(const char* text, std::streamsize count) {
  pending_.append(text, static_cast<std::size_t>(count));
  return count;
}

int Win32ConsoleBuffer::sync() {
  if (pending_.empty()) return 0;
  const std::string text = WithCrLf(pending_);
  pending_.clear();
  if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) return -1;
  DWORD mode = 0;
  const bool written = GetConsoleMode(handle_, &mode) ? WriteToConsole(handle_, WideFromUtf8(text))
                                                      : WriteToFile(handle_, text);
  return written ? 0 : -1;
}

}  // namespace brisakett
