#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device_status_source.h"

// The one function a device status module exports: a new source, which the
// caller owns. Its code stays in the module, which is never unloaded.
extern "C" brisakett::DeviceStatusSource* brisakett_device_status_source();

namespace brisakett {

// A DeviceStatusSource built as a module of its own (a shared object), so
// that the libraries it needs (net-snmp, and OpenSSL under it) are loaded
// only when a device is first asked, not at every start of the program.
// A module that cannot be loaded makes every device's answer Unreachable,
// with the loader's own words.
class DeviceStatusModule final : public DeviceStatusSource {
public:
  // `path`: the module's file; a relative one is taken from the folder of
  // the running program, as the program and its module are installed.
  explicit DeviceStatusModule(std::string path) : path_(std::move(path)) {}

  // The module is loaded, and its questions opened, at the first device
  // asked, not before.
  std::unique_ptr<DeviceQuestions> Open(const std::string& community) const override;

private:
  class LazyQuestions;
  // The module's source, or nothing with why in whyNot_.
  const DeviceStatusSource* Loaded() const;
  void Load() const;

  std::string path_;
  mutable std::once_flag loaded_;
  mutable std::unique_ptr<DeviceStatusSource> source_;
  mutable std::string whyNot_;
};

}  // namespace brisakett
