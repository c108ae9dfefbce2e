#include "prefetched_catalog.h"

#include <chrono>

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

// The scheduler answers one request at a time, and the list of thousands
// of queues keeps it busy for tens of milliseconds; the window needs the
// default printer first. So the list is asked once the default is answered,
// or after this long if that answer is slow to come.
constexpr auto kListHoldBack = std::chrono::milliseconds(100);

template <typename T, typename Before, typename Question>
std::future<PrefetchedCatalog::EarlyAnswer<T>> AskEarly(const PrefetchedCatalog::MakeCatalog& make,
                                                        const std::string& user, Before before,
                                                        Question question) {
  return std::async(std::launch::async, [make, user, before, question] {
    before();
    RefusingPrompt refusing;
    // Catalogs keep a reference to their login: it must outlive them.
    const SpoolerLogin login{user, &refusing, {}};
    const std::unique_ptr<PrinterCatalog> catalog = make(login);
    Deadline deadline(kServerPatience);
    SpoolerAnswer<T> answer = question(*catalog, deadline);
    return PrefetchedCatalog::EarlyAnswer<T>{std::move(answer), refusing.asked};
  });
}

template <typename Future, typename Question>
auto TakeEarly(Future& early, Question askAgain) -> decltype(askAgain()) {
  if (!early.valid()) return askAgain();
  auto taken = early.get();
  early = Future();
  if (taken.wantedPassword) return askAgain();
  return std::move(taken.answer);
}

}  // namespace

PrefetchedCatalog::PrefetchedCatalog(const MakeCatalog& make, const SpoolerLogin& login)
    : asking_(make(login)),
      default_(AskEarly<std::optional<std::string>>(
                   make, login.user, [] {},
                   [](const PrinterCatalog& catalog, Deadline& deadline) {
                     return catalog.DefaultDeviceName(deadline);
                   })
                   .share()),
      names_(AskEarly<std::vector<std::string>>(
          make, login.user, [defaultAnswer = default_] { defaultAnswer.wait_for(kListHoldBack); },
          [](const PrinterCatalog& catalog, Deadline& deadline) {
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
