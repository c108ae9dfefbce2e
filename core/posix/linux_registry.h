#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "registry.h"

namespace brisakett {

// Linux has no registry; this read-only one knows one key, the one where
// Windows records its System Information tool, and fills it with a
// desktop system-information program found along a PATH-style list of
// folders:
//   HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO
//     PATH (type 1) = the program's absolute path, with its NUL
// The key exists only while such a program is found, and the search runs
// anew at each OpenKey. Every other key, and every key below another root,
// does not exist. Key and value names compare without regard to ASCII
// letter case, as on Windows, so that a name that works there works here.
// The access mask is not checked: nothing can be written anyway.
class LinuxRegistry final : public Registry {
public:
  // `searchPath` is a list of folders separated by ':', like PATH.
  explicit LinuxRegistry(std::string searchPath) : searchPath_(std::move(searchPath)) {}

  long OpenKey(RegistryRoot root, const std::string& subKey, std::uint32_t accessMask,
               RegistryKey& key) override;
  long QueryValue(RegistryKey key, const std::string& valueName, std::uint32_t& type,
                  unsigned char* data, std::uint32_t& size) override;
  long CloseKey(RegistryKey key) override;

private:
  std::string searchPath_;
  std::map<std::uintptr_t, std::string> openKeys_;  // handle → the program's path
  std::uintptr_t nextHandle_ = 1;
};

}  // namespace brisakett
