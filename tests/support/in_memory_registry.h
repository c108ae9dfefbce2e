#pragma once

// A registry held in memory, for what no real registry gives on demand:
// values of any type and bytes, keys that fail to open, values too large
// for the reader's buffer. It counts opens and closes, so that tests can
// see every opened key closed again.

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "registry.h"

namespace brisakett::testing {

class InMemoryRegistry final : public Registry {
public:
  int opened = 0;
  int closed = 0;
  int badHandles = 0;  // calls with a key that is not open
  std::vector<std::uint32_t> accessMasks;  // of every OpenKey, in order

  // Names compare exactly; the value's data are `bytes` as they are.
  void SetValue(RegistryRoot root, const std::string& key, const std::string& name,
                std::uint32_t type, std::string bytes) {
    keys_[{root, key}][name] = {type, std::move(bytes)};
  }

  // The key opens with `result` instead, even if it has values.
  void FailToOpen(RegistryRoot root, const std::string& key, long result) {
    openFailures_[{root, key}] = result;
  }

  // The key opens for reading only, as HKEY_LOCAL_MACHINE does for a user
  // who is not an administrator: asking for more is refused.
  void ReadOnlyKey(RegistryRoot root, const std::string& key) { readOnly_[{root, key}] = true; }

  long OpenKey(RegistryRoot root, const std::string& subKey, std::uint32_t accessMask,
               RegistryKey& key) override {
    accessMasks.push_back(accessMask);
    const KeyPath path{root, subKey};
    if (const auto failure = openFailures_.find(path); failure != openFailures_.end()) {
      return failure->second;
    }
    constexpr std::uint32_t kKeyRead = 0x20019;
    if (readOnly_.contains(path) && (accessMask & ~kKeyRead) != 0) return kErrorAccessDenied;
    if (!keys_.contains(path)) return kErrorFileNotFound;
    ++opened;
    key = RegistryKey{nextHandle_};
    open_[nextHandle_++] = path;
    return kErrorSuccess;
  }

  long QueryValue(RegistryKey key, const std::string& valueName, std::uint32_t& type,
                  unsigned char* data, std::uint32_t& size) override {
    const auto open = open_.find(static_cast<std::uintptr_t>(key));
    if (open == open_.end()) return BadHandle();
    const auto& values = keys_.at(open->second);
    const auto value = values.find(valueName);
    if (value == values.end()) return kErrorFileNotFound;

    const auto& [valueType, bytes] = value->second;
    type = valueType;
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (size < needed) {
      size = needed;
      return kErrorMoreData;
    }
    std::memcpy(data, bytes.data(), needed);
    size = needed;
    return kErrorSuccess;
  }

  long CloseKey(RegistryKey key) override {
    if (open_.erase(static_cast<std::uintptr_t>(key)) == 0) return BadHandle();
    ++closed;
    return kErrorSuccess;
  }

private:
  using KeyPath = std::pair<RegistryRoot, std::string>;
  using Value = std::pair<std::uint32_t, std::string>;

  long BadHandle() {
    ++badHandles;
    return kErrorInvalidHandle;
  }

  std::map<KeyPath, std::map<std::string, Value>> keys_;
  std::map<KeyPath, long> openFailures_;
  std::map<KeyPath, bool> readOnly_;
  std::map<std::uintptr_t, KeyPath> open_;
  std::uintptr_t nextHandle_ = 1;
};

}  // namespace brisakett::testing
