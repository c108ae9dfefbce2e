#include "sys_info.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace brisakett {
namespace {

// Read control plus every key-specific right.
constexpr std::uint32_t kKeyAccess = 0x2003F;
// Read control plus the rights to read values and list subkeys (KEY_READ).
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kValueBufferSize = 1024;

// A DWORD is stored little-endian whatever the machine. Missing bytes
// count as zero, the way the NUL-filled buffer holds them.
std::string DecimalOfDword(const std::array<unsigned char, kValueBufferSize>& data) {
  const std::uint32_t number = static_cast<std::uint32_t>(data[0]) |
                               static_cast<std::uint32_t>(data[1]) << 8 |
                               static_cast<std::uint32_t>(data[2]) << 16 |
                               static_cast<std::uint32_t>(data[3]) << 24;
  return std::to_string(number);
}

}  // namespace

bool GetKeyValue(Registry& registry, RegistryRoot KeyRoot, const std::string& KeyName,
                 const std::string& SubKeyRef, std::string& KeyVal) {
  RegistryKey key{};
  long opened = registry.OpenKey(KeyRoot, KeyName, kKeyAccess, key);
  // Windows refuses the write rights in kKeyAccess on HKEY_LOCAL_MACHINE to
  // anyone not running as administrator; reading the value needs none.
  if (opened == kErrorAccessDenied) opened = registry.OpenKey(KeyRoot, KeyName, kKeyRead, key);
  if (opened != kErrorSuccess) {
    KeyVal.clear();
    return false;
  }

  std::array<unsigned char, kValueBufferSize> buffer{};
  std::uint32_t size = kValueBufferSize;
  std::uint32_t type = 0;
  if (registry.QueryValue(key, SubKeyRef, type, buffer.data(), size) != kErrorSuccess) {
    KeyVal.clear();
    registry.CloseKey(key);
    return false;
  }

  // Strings are stored with or without their terminating NUL; both read
  // the same. Empty data are the empty text.
  std::size_t length = std::min(size, kValueBufferSize);
  if (length > 0 && buffer[length - 1] == '\0') --length;

  if (type == kRegSz) {
    // A string ends at its first NUL: what a careless writer left behind
    // it is not part of the path, and would reach the program start.
    const auto* text = reinterpret_cast<const char*>(buffer.data());
    KeyVal.assign(text, std::find(text, text + length, '\0'));
  } else if (type == kRegDword) {
    KeyVal = size == 0 ? std::string() : DecimalOfDword(buffer);
  }

  registry.CloseKey(key);
  return true;
}

bool StartSysInfo(Registry& registry, ProcessStarter& starter) {
  std::string path;
  if (!GetKeyValue(registry, kHkeyLocalMachine, kMsinfoKeyName, kMsinfoPathValueName,
                   path)) {
    if (!GetKeyValue(registry, kHkeyLocalMachine, kSharedToolsLocationKeyName,
                     kSharedToolsMsinfoValueName, path)) {
      return false;
    }
    path += kMsinfoFileName;
  }
  // The path is started only as the file it names: an empty path, a folder
  // or a file that is not there is no tool.
  return starter.FileExists(path) && starter.StartDetached(path);
}

}  // namespace brisakett
