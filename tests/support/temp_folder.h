#pragma once

// Real files for the tests of the POSIX providers: a private folder that
// goes away with the test, and a program that records that it ran.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace brisakett::testing {

class TempFolder {
public:
  TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "brisakett-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

private:
  std::filesystem::path path_;
};

// The file's bytes as they are; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::filesystem::path& file, const std::string& text,
                      std::filesystem::perms permissions) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << text;
  std::filesystem::permissions(file, permissions);
}

// A shell script that, each time it runs, appends its argument count to
// the file "ran" beside itself. It finds that folder through its own $0,
// so a wrong argv[0] shows as well.
inline void WriteRecorder(const std::filesystem::path& script) {
  WriteFile(script, "#!/bin/sh\necho \"$#\" >> \"$(dirname \"$0\")/ran\"\n",
            std::filesystem::perms::owner_all);
}

// What the recorder beside `script` wrote, waiting up to `patience` for
// it; empty when it did not run.
inline std::string RecorderLog(const std::filesystem::path& script,
                               std::chrono::milliseconds patience = std::chrono::seconds(5)) {
  const std::filesystem::path log = script.parent_path() / "ran";
  const auto written = [&log] {
    std::error_code missing;
    return std::filesystem::exists(log, missing) && std::filesystem::file_size(log) > 0;
  };
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!written() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::ifstream in(log);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace brisakett::testing
