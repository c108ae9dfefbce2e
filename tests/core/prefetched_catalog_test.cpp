#include "prefetched_catalog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace brisakett {
namespace {

// A print server that counts its questions and, when it wants a password,
// asks the login's prompt and answers only when given "secret". Like the
// real catalogs it keeps a reference to its login.
class CountingCatalog final : public PrinterCatalog {
public:
  CountingCatalog(const SpoolerLogin& login, bool wantsPassword, std::atomic<int>& questions)
      : login_(login), wantsPassword_(wantsPassword), questions_(questions) {}

  SpoolerAnswer<std::vector<std::string>> DeviceNames(Deadline&) const override {
    if (!LoggedIn()) return {{}, "Unauthorized"};
    return {{"Laser", "Tinte"}, {}};
  }
  SpoolerAnswer<std::optional<std::string>> DefaultDeviceName(Deadline&) const override {
    if (!LoggedIn()) return {std::nullopt, "Unauthorized"};
    return {"Tinte", {}};
  }

private:
  bool LoggedIn() const {
    ++questions_;
    if (!wantsPassword_) return true;
    std::string user = login_.user;
    return login_.prompt && login_.prompt->Ask("server", user) == "secret";
  }
  const SpoolerLogin& login_;
  bool wantsPassword_;
  std::atomic<int>& questions_;
};

class RecordingPrompt final : public PasswordPrompt {
public:
  std::vector<std::thread::id> askedOn;
  std::optional<std::string> Ask(const std::string&, std::string&) override {
    askedOn.push_back(std::this_thread::get_id());
    return "secret";
  }
};

TEST(PrefetchedCatalog, AsksForThePasswordOnlyOnTheCallersThread) {
  std::atomic<int> questions = 0;
  RecordingPrompt prompt;
  const SpoolerLogin login{"ann", &prompt};
  PrefetchedCatalog catalog(
      [&](const SpoolerLogin& given) {
        return std::make_unique<CountingCatalog>(given, true, questions);
      },
      login);

  Deadline deadline(kServerPatience);
  const auto defaultName = catalog.DefaultDeviceName(deadline);
  const auto names = catalog.DeviceNames(deadline);
  EXPECT_EQ(defaultName.value, "Tinte");
  EXPECT_EQ(names.value, (std::vector<std::string>{"Laser", "Tinte"}));
  // Refused early without a prompt, then asked again with it, here.
  EXPECT_EQ(questions, 4);
  EXPECT_EQ(prompt.askedOn,
            (std::vector<std::thread::id>(2, std::this_thread::get_id())));
}

TEST(PrefetchedCatalog, GivesEachEarlyAnswerOnceThenAsksAfresh) {
  std::atomic<int> questions = 0;
  const SpoolerLogin login{"ann", nullptr};
  PrefetchedCatalog catalog(
      [&](const SpoolerLogin& given) {
        return std::make_unique<CountingCatalog>(given, false, questions);
      },
      login);

  Deadline deadline(kServerPatience);
  EXPECT_EQ(catalog.DeviceNames(deadline).value.size(), 2u);
  EXPECT_EQ(catalog.DefaultDeviceName(deadline).value, "Tinte");
  EXPECT_EQ(questions, 2);
  EXPECT_EQ(catalog.DeviceNames(deadline).value.size(), 2u);
  EXPECT_EQ(questions, 3);
}

}  // namespace
}  // namespace brisakett
