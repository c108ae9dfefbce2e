#include "prefetched_catalog.h"

namespace brisakett {
namespace {

// Declines, and remembers that the server asked.
class RefusingPrompt final : public PasswordPrompt {
public:
  bool asked = false;
  std::optional<std::string> Ask(const std::string&, std::string&) override {
    asked = true;
    return std::nullopt;
  }
};

template <typename T, typename Question>
std::future<PrefetchedCatalog::EarlyAnswer<T>> AskEarly(const PrefetchedCatalog::MakeCatalog& make,
                                                        const std::string& user,
                                                        Question question) {
  return std::async(std::launch::async, [make, user, question] {
    RefusingPrompt refusing;
    // Catalogs keep a reference to their login: it must outlive them.
    const SpoolerLogin login{user, &refusing};
    const std::unique_ptr<PrinterCatalog> catalog = make(login);
    Deadline deadline(kServerPatience);
    SpoolerAnswer<T> answer = question(*catalog, deadline);
    return PrefetchedCatalog::EarlyAnswer<T>{std::move(answer), refusing.asked};
  });
}

template <typename T, typename Question>
SpoolerAnswer<T> TakeEarly(std::future<PrefetchedCatalog::EarlyAnswer<T>>& early,
                           Question askAgain) {
  if (!early.valid()) return askAgain();
  PrefetchedCatalog::EarlyAnswer<T> taken = early.get();
  if (taken.wantedPassword) return askAgain();
  return std::move(taken.answer);
}

}  // namespace

PrefetchedCatalog::PrefetchedCatalog(const MakeCatalog& make, const SpoolerLogin& login)
    : asking_(make(login)),
      default_(AskEarly<std::optional<std::string>>(
          make, login.user,
          [](const PrinterCatalog& catalog, Deadline& deadline) {
            return catalog.DefaultDeviceName(deadline);
          })),
      names_(AskEarly<std::vector<std::string>>(
          make, login.user, [](const PrinterCatalog& catalog, Deadline& deadline) {
            return catalog.DeviceNames(deadline);
          })) {}

SpoolerAnswer<std::vector<std::string>> PrefetchedCatalog::DeviceNames(Deadline& deadline) const {
  return TakeEarly(names_, [&] { return asking_->DeviceNames(deadline); });
}

SpoolerAnswer<bool> PrefetchedCatalog::IsInstalled(const std::string& name,
                                                   Deadline& deadline) const {
  return asking_->IsInstalled(name, deadline);
}

SpoolerAnswer<std::optional<std::string>> PrefetchedCatalog::DefaultDeviceName(
    Deadline& deadline) const {
  return TakeEarly(default_, [&] { return asking_->DefaultDeviceName(deadline); });
}

}  // namespace brisakett
