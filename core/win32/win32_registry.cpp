#include "win32/win32_registry.h"

#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "win32/utf16.h"

namespace brisakett {
namespace {

// The predefined roots are 32-bit numbers sign-extended to a handle.
HKEY RootHandle(RegistryRoot root) {
  return reinterpret_cast<HKEY>(
      static_cast<ULONG_PTR>(static_cast<LONG>(static_cast<std::uint32_t>(root))));
}

HKEY KeyHandle(RegistryKey key) {
  return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(key));
}

// The whole value, however large; it may change between the size query and
// the read, so the read repeats until it fits.
LONG ReadWholeValue(HKEY key, const std::wstring& name, DWORD& type,
                    std::vector<BYTE>& bytes) {
  DWORD size = 0;
  LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
  while (result == ERROR_SUCCESS || result == ERROR_MORE_DATA) {
    bytes.resize(size);
    result = RegQueryValueExW(key, name.c_str(), nullptr, &type, bytes.data(), &size);
    if (result == ERROR_SUCCESS) {
      bytes.resize(size);
      return ERROR_SUCCESS;
    }
  }
  return result;
}

// UTF-16 string data as UTF-8; a NUL stored at the end stays at the end.
// An odd last byte is not a character and is dropped.
std::string Utf8OfStringData(const std::vector<BYTE>& bytes) {
  std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
  const bool hasNul = !text.empty() && text.back() == L'\0';
  if (hasNul) text.pop_back();
  std::string utf8 = Utf8FromWide(text);
  if (hasNul) utf8.push_back('\0');
  return utf8;
}

}  // namespace

long Win32Registry::OpenKey(RegistryRoot root, const std::string& subKey,
                            std::uint32_t accessMask, RegistryKey& key) {
  HKEY opened = nullptr;
  const LONG result =
      RegOpenKeyExW(RootHandle(root), WideFromUtf8(subKey).c_str(), 0, accessMask, &opened);
  if (result == ERROR_SUCCESS) key = RegistryKey{reinterpret_cast<std::uintptr_t>(opened)};
  return result;
}

long Win32Registry::QueryValue(RegistryKey key, const std::string& valueName,
                               std::uint32_t& type, unsigned char* data,
                               std::uint32_t& size) {
  DWORD storedType = 0;
  std::vector<BYTE> stored;
  const LONG result = ReadWholeValue(KeyHandle(key), WideFromUtf8(valueName), storedType, stored);
  if (result != ERROR_SUCCESS) return result;

  type = storedType;
  if (storedType == REG_SZ) {
    const std::string text = Utf8OfStringData(stored);
    stored.assign(text.begin(), text.end());
  }
  const std::uint32_t capacity = size;
  size = static_cast<std::uint32_t>(stored.size());
  if (size > capacity) return ERROR_MORE_DATA;
  if (size > 0) std::memcpy(data, stored.data(), size);
  return ERROR_SUCCESS;
}

long Win32Registry::CloseKey(RegistryKey key) { return RegCloseKey(KeyHandle(key)); }

}  // namespace brisakett
