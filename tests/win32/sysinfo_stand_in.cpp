// Stands in for the System Information tool in the Windows tests: each
// time it runs it appends its argument count to the file "ran" beside
// itself, so a test sees that this copy ran, and with which command line.

#include <filesystem>
#include <fstream>

#include <windows.h>

int wmain(int argc, wchar_t**) {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length == MAX_PATH) return 1;
  const std::filesystem::path log = std::filesystem::path(self).parent_path() / L"ran";
  std::ofstream(log, std::ios::app) << (argc - 1) << "\n";
  return 0;
}
