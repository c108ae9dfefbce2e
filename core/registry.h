#pragma once

#include <cstdint>
#include <string>

namespace brisakett {

// A predefined root key. The numbers are the Win32 ones, so the Windows
// provider hands them to advapi32 unchanged (sign-extended to a handle, as
// the Windows headers do).
enum class RegistryRoot : std::uint32_t {};
inline constexpr RegistryRoot kHkeyCurrentUser{0x80000001};
inline constexpr RegistryRoot kHkeyLocalMachine{0x80000002};

// An open key. Only the provider that opened it knows what the number means.
enum class RegistryKey : std::uintptr_t {};

// Result codes, the Win32 numbers.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorMoreData = 234;

// Value types, the Win32 numbers.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

// The few registry operations the program uses, shaped like their Win32
// counterparts (RegOpenKeyExW, RegQueryValueExW, RegCloseKey) so that each
// platform's provider is a thin layer. Every call returns the platform's
// result code, kErrorSuccess on success. Names and string data are UTF-8;
// string data keep the terminating NUL when the stored value has one.
class Registry {
public:
  virtual ~Registry() = default;

  virtual long OpenKey(RegistryRoot root, const std::string& subKey,
                       std::uint32_t accessMask, RegistryKey& key) = 0;

  // `data` holds `size` bytes. On return `size` is the value's data size:
  // with kErrorMoreData when the data do not fit (nothing is copied then),
  // kErrorFileNotFound when the key has no such value.
  virtual long QueryValue(RegistryKey key, const std::string& valueName,
                          std::uint32_t& type, unsigned char* data,
                          std::uint32_t& size) = 0;

  virtual long CloseKey(RegistryKey key) = 0;
};

}  // namespace brisakett
