#include "win32/win32_process_starter.h"

#include <windows.h>

#include "win32/utf16.h"

namespace brisakett {

bool Win32ProcessStarter::FileExists(const std::string& path) const {
  const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32ProcessStarter::StartDetached(const std::string& path) {
  const std::wstring program = WideFromUtf8(path);
  // The program is named by lpApplicationName alone, so a path with blanks
  // is never split into a shorter program and its arguments. The command
  // line only gives the program its own quoted path as argv[0]; a Windows
  // path cannot contain '"'.
  std::wstring commandLine = L"\"" + program + L"\"";

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  return true;
}

}  // namespace brisakett
