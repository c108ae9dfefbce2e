#include "posix/linux_registry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

#include "sys_info.h"

namespace brisakett {
namespace {

// Desktop programs that show what the computer is made of and what runs
// on it, closest to a full system report first: the KDE Info Center, the
// two generations of HardInfo, CPU-X, then the GNOME and MATE system
// monitors. Each starts without arguments.
constexpr std::array<std::string_view, 6> kSysInfoPrograms = {
    "kinfocenter", "hardinfo2",           "hardinfo",
    "cpu-x",       "gnome-system-monitor", "mate-system-monitor",
};

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const auto lower = [](unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The first program of the list found in any folder, folders in their
// order. Empty and relative entries are skipped: the found path must be
// absolute, and the working folder is no place to pick a program from.
std::optional<std::string> FindSysInfoProgram(std::string_view searchPath) {
  for (std::string_view program : kSysInfoPrograms) {
    std::string_view rest = searchPath;
    while (true) {
      const std::size_t colon = rest.find(':');
      const std::string_view folder = rest.substr(0, colon);
      if (!folder.empty() && folder.front() == '/') {
        std::string candidate(folder);
        if (candidate.back() != '/') candidate += '/';
        candidate += program;
        if (IsExecutableFile(candidate)) return candidate;
      }
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  return std::nullopt;
}

}  // namespace

long LinuxRegistry::OpenKey(RegistryRoot root, const std::string& subKey,
                            std::uint32_t /*accessMask*/, RegistryKey& key) {
  if (root != kHkeyLocalMachine || !EqualIgnoringAsciiCase(subKey, kMsinfoKeyName)) {
    return kErrorFileNotFound;
  }
  std::optional<std::string> program = FindSysInfoProgram(searchPath_);
  if (!program) return kErrorFileNotFound;

  const std::uintptr_t handle = nextHandle_++;
  openKeys_.emplace(handle, std::move(*program));
  key = RegistryKey{handle};
  return kErrorSuccess;
}

long LinuxRegistry::QueryValue(RegistryKey key, const std::string& valueName,
                               std::uint32_t& type, unsigned char* data,
                               std::uint32_t& size) {
  const auto open = openKeys_.find(static_cast<std::uintptr_t>(key));
  if (open == openKeys_.end()) return kErrorInvalidHandle;
  if (!EqualIgnoringAsciiCase(valueName, kMsinfoPathValueName)) return kErrorFileNotFound;

  // Stored the way Windows stores a string: with its terminating NUL.
  const std::string& path = open->second;
  const auto needed = static_cast<std::uint32_t>(path.size() + 1);
  type = kRegSz;
  if (size < needed) {
    size = needed;
    return kErrorMoreData;
  }
  std::memcpy(data, path.c_str(), needed);
  size = needed;
  return kErrorSuccess;
}

long LinuxRegistry::CloseKey(RegistryKey key) {
  return openKeys_.erase(static_cast<std::uintptr_t>(key)) == 1 ? kErrorSuccess
                                                                 : kErrorInvalidHandle;
}

}  // namespace brisakett
