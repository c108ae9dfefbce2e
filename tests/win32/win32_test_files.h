#pragma once

// Real files for the tests of the Windows providers: a private folder that
// goes away with the test, the programs built beside the test, and the log
// that the System Information stand-in writes.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

#include <windows.h>

namespace brisakett::testing {

inline std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// A program of this build, in the folder of the running test.
inline std::filesystem::path Beside(const std::wstring& fileName) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  return std::filesystem::path(self).parent_path() / fileName;
}

// A fresh folder whose name holds a blank and a letter outside every ANSI
// code page, so that paths must go to Windows whole, as UTF-16.
class TempFolder {
public:
  TempFolder() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            (L"Brisakett Tests \u03a9 " + std::to_wstring(random()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path path_;
};

// Copies the stand-in to `target`, creating its folder.
inline void PlaceStandIn(const std::filesystem::path& target) {
  std::filesystem::create_directories(target.parent_path());
  std::filesystem::copy_file(Beside(L"sysinfo_stand_in.exe"), target);
}

// What the stand-in at `program` wrote, waiting up to `patience` for it;
// empty when it did not run.
inline std::string StandInLog(const std::filesystem::path& program,
                              std::chrono::milliseconds patience = std::chrono::seconds(10)) {
  const std::filesystem::path log = program.parent_path() / L"ran";
  const auto deadline = std::chrono::steady_clock::now() + patience;
  std::error_code missing;
  while (!(std::filesystem::exists(log, missing) && std::filesystem::file_size(log, missing) > 0) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::ifstream in(log);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace brisakett::testing
