#include "posix/device_status_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace brisakett {
namespace {

constexpr char kFactory[] = "brisakett_device_status_source";

}  // namespace

void DeviceStatusModule::Load() const {
  std::filesystem::path path = path_;
  if (path.is_relative()) {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
      whyNot_ = "the program's own folder is not known: " + error.message();
      return;
    }
    path = program.parent_path() / path;
  }
  // RTLD_LOCAL keeps the module's libraries' names out of the program's.
  // The module is never closed: a name look-up it left behind on a thread
  // of its own may still be running its code.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  auto* make = module ? reinterpret_cast<decltype(&brisakett_device_status_source)>(
                            dlsym(module, kFactory))
                      : nullptr;
  if (!make) {
    const char* said = dlerror();
    whyNot_ = said ? said : path.string() + " has no " + kFactory;
    return;
  }
  source_.reset(make());
}

std::vector<SpoolerAnswer<DeviceStatus>> DeviceStatusModule::Ask(
    const std::vector<std::string>& hosts, const std::string& community,
    Deadline& deadline) const {
  std::call_once(loaded_, [this] { Load(); });
  if (source_) return source_->Ask(hosts, community, deadline);
  const ServerAnswer failure{ServerVerdict::Unreachable,
                             "the program cannot ask devices: " + whyNot_};
  return std::vector<SpoolerAnswer<DeviceStatus>>(hosts.size(), failure);
}

}  // namespace brisakett
