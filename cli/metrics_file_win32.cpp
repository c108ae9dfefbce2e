#include <windows.h>

#include <cstdio>
#include <random>

#include "metrics_file.h"
#include "win32/system_error_text.h"
#include "win32/utf16.h"

namespace brisakett {
namespace {

// A new file beside `path`, on the same volume so that the move is a
// rename; CREATE_NEW: never one found there under the name.
HANDLE CreateBeside(const std::string& path, std::wstring& temporary) {
  std::random_device random;
  for (int attempt = 0; attempt < 16; ++attempt) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", static_cast<unsigned>(random()));
    temporary = WideFromUtf8(path + suffix);
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

bool ReplaceWholeFile(const std::string& path, const std::string& text, std::string& problem) {
  std::wstring temporary;
  const HANDLE file = CreateBeside(path, temporary);
  if (file == INVALID_HANDLE_VALUE) {
    problem = SystemErrorText(GetLastError());
    return false;
  }
  DWORD written = 0;
  bool done = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size() && FlushFileBuffers(file);
  DWORD error = GetLastError();
  CloseHandle(file);
  if (done && MoveFileExW(temporary.c_str(), WideFromUtf8(path).c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  if (done) error = GetLastError();
  DeleteFileW(temporary.c_str());
  problem = SystemErrorText(error);
  return false;
}

}  // namespace brisakett
