#include "posix/device_status_module.h"

#include <dlfcn.h>

#include <filesystem>
#include <optional>
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

const DeviceStatusSource* DeviceStatusModule::Loaded() const {
  std::call_once(loaded_, [this] { Load(); });
  return source_.get();
}

class DeviceStatusModule::LazyQuestions final : public DeviceQuestions {
public:
  LazyQuestions(const DeviceStatusModule& module, std::string community)
      : module_(module), community_(std::move(community)) {}

  void Ask(const std::string& host, Answered answered) override {
    if (!questions_ && !failure_) {
      if (const DeviceStatusSource* source = module_.Loaded()) {
        questions_ = source->Open(community_);
      } else {
        failure_ = ServerAnswer{ServerVerdict::Unreachable,
                                "the program cannot ask devices: " + module_.whyNot_};
      }
    }
    if (questions_) return questions_->Ask(host, std::move(answered));
    answered(*failure_);
  }

private:
  const DeviceStatusModule& module_;
  const std::string community_;
  std::unique_ptr<DeviceQuestions> questions_;
  std::optional<ServerAnswer> failure_;
};

std::unique_ptr<DeviceQuestions> DeviceStatusModule::Open(const std::string& community) const {
  return std::make_unique<LazyQuestions>(*this, community);
}

}  // namespace brisakett
