#include "win32/system_error_text.h"

#include "win32/utf16.h"

namespace brisakett {

std::string SystemErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text ? text : L"", length);
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' ||
                              message.back() == L' ')) {
    message.pop_back();
  }
  if (message.empty()) return "Windows error " + std::to_string(code);
  return Utf8FromWide(message);
}

}  // namespace brisakett
