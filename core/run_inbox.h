#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>

#include "device_status.h"
#include "wake_outcome.h"

namespace brisakett {

// A printer on its way through a wake-up run, and when its job started.
struct Underway {
  PrinterWakeReport report;
  std::chrono::steady_clock::time_point started;
};

// What the helpers of one wake-up run (its submitting threads, the
// devices' answers) hand to the thread that runs it. Any thread may post.
class RunInbox {
public:
  using Clock = std::chrono::steady_clock;

  struct DeviceAnswer {
    std::string host;
    SpoolerAnswer<DeviceStatus> answer;
  };
  struct Contents {
    std::deque<Underway> submitted;
    std::deque<DeviceAnswer> deviceAnswers;
    std::size_t submittersLeft = 0;
  };

  explicit RunInbox(std::size_t submitters) : submittersLeft_(submitters) {}

  void Submitted(Underway underway) {
    const std::lock_guard lock(mutex_);
    waiting_.submitted.push_back(std::move(underway));
    changed_.notify_one();
  }
  void SubmitterDone() {
    const std::lock_guard lock(mutex_);
    --submittersLeft_;
    changed_.notify_one();
  }
  void Answered(DeviceAnswer answer) {
    const std::lock_guard lock(mutex_);
    waiting_.deviceAnswers.push_back(std::move(answer));
    changed_.notify_one();
  }

  // Everything posted since the last call, waiting for it until `until`.
  Contents Take(Clock::time_point until) {
    std::unique_lock lock(mutex_);
    const auto news = [this] {
      return !waiting_.submitted.empty() || !waiting_.deviceAnswers.empty() ||
             submittersLeft_ != waiting_.submittersLeft;
    };
    if (until == Clock::time_point::max()) {
      changed_.wait(lock, news);
    } else {
      changed_.wait_until(lock, until, news);
    }
    Contents taken;
    std::swap(taken, waiting_);
    taken.submittersLeft = waiting_.submittersLeft = submittersLeft_;
    return taken;
  }

private:
  std::mutex mutex_;
  std::condition_variable changed_;
  Contents waiting_{{}, {}, static_cast<std::size_t>(-1)};
  std::size_t submittersLeft_;
};

}  // namespace brisakett
