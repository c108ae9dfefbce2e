#pragma once

#include "registry.h"

namespace brisakett {

// The Windows registry through advapi32's W functions. Key and value names
// go over as UTF-16; string data (REG_SZ) come back as UTF-8, keeping the
// terminating NUL when the stored value has one, and their size is the
// UTF-8 size, which is what must fit in the caller's buffer. Other types
// come back as the stored bytes.
class Win32Registry final : public Registry {
public:
  long OpenKey(RegistryRoot root, const std::string& subKey, std::uint32_t accessMask,
               RegistryKey& key) override;
  long QueryValue(RegistryKey key, const std::string& valueName, std::uint32_t& type,
                  unsigned char* data, std::uint32_t& size) override;
  long CloseKey(RegistryKey key) override;
};

}  // namespace brisakett
