#include "prefetched_catalog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
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
    if (!LoggedIn()) return ServerAnswer{ServerVerdict::WantsPassword, "Unauthorized"};
    return std::vector<std::string>{"Laser", "Tinte"};
  }
  SpoolerAnswer<std::optional<std::string>> DefaultDeviceName(Deadline&) const override {
    if (!LoggedIn()) return ServerAnswer{ServerVerdict::WantsPassword, "Unauthorized"};
    return std::optional<std::string>("Tinte");
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

// A server whose default printer answers at once, or, when
// `defaultAwaitsList`, only once the list has been asked for (giving up
// after two seconds). Notes the order of the two. An answer that came
// after a delay of its own would race the list's hold-back on a busy
// machine.
class SlowDefaultCatalog final : public PrinterCatalog {
public:
  struct Log {
    std::mutex mutex;
    std::condition_variable changed;
    bool listAsked = false;
    bool defaultAnswered = false;
    bool listAskedBeforeDefault = false;
  };
  SlowDefaultCatalog(Log& log, bool defaultAwaitsList)
      : log_(log), defaultAwaitsList_(defaultAwaitsList) {}

  SpoolerAnswer<std::vector<std::string>> DeviceNames(Deadline&) const override {
    std::lock_guard lock(log_.mutex);
    log_.listAsked = true;
    log_.listAskedBeforeDefault = !log_.defaultAnswered;
    log_.changed.notify_all();
    return std::vector<std::string>{"Laser"};
  }
  SpoolerAnswer<std::optional<std::string>> DefaultDeviceName(Deadline&) const override {
    std::unique_lock lock(log_.mutex);
    if (defaultAwaitsList_) {
      log_.changed.wait_for(lock, std::chrono::seconds(2), [&] { return log_.listAsked; });
    }
    log_.defaultAnswered = true;
    return std::optional<std::string>("Laser");
  }

private:
  Log& log_;
  bool defaultAwaitsList_;
};

// The window wants the default first, and the scheduler answers one
// request at a time: the list must not get in its way, nor wait forever.
TEST(PrefetchedCatalog, AsksForTheListOnceTheDefaultIsAnsweredOrSlowToCome) {
  for (const bool defaultAwaitsList : {false, true}) {
    SlowDefaultCatalog::Log log;
    const SpoolerLogin login{"ann", nullptr};
    PrefetchedCatalog catalog(
        [&](const SpoolerLogin&) {
          return std::make_unique<SlowDefaultCatalog>(log, defaultAwaitsList);
        },
        login);
    Deadline deadline(kServerPatience);
    EXPECT_EQ(catalog.DefaultDeviceName(deadline).value, "Laser");
    EXPECT_EQ(catalog.DeviceNames(deadline).value, std::vector<std::string>{"Laser"});
    EXPECT_EQ(log.listAskedBeforeDefault, defaultAwaitsList);
  }
}

}  // namespace
}  // namespace brisakett
