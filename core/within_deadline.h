#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

#include "deadline.h"

namespace brisakett {

// A call that may block far past any deadline and cannot be cancelled (a
// name look-up, a winspool call that waits on RPC for as long as the
// network lets it), run on a thread of its own that the caller can leave
// behind: the thread owns the call and everything it uses, and a result
// that comes too late dies with the thread, its destructor freeing what it
// holds (addresses, a printer handle).
//
// `call` is moved to the thread: it must hold what it uses by value, never
// by reference to the caller's locals. A result must carry its own error
// (errno, GetLastError()), which is the calling thread's.
template <typename Result>
class LeftBehindCall {
public:
  template <typename Call>
  explicit LeftBehindCall(Call call) : errand_(std::make_shared<Errand>()) {
    std::thread([errand = errand_, call = std::move(call)]() mutable {
      Result result = call();
      const std::lock_guard lock(errand->mutex);
      if (!errand->abandoned) errand->result.emplace(std::move(result));
      errand->done = true;
      errand->finished.notify_all();
    }).detach();
  }

  // The result, or nothing when the deadline passed first; then the call
  // is left behind.
  std::optional<Result> Wait(const Deadline& deadline) {
    std::unique_lock lock(errand_->mutex);
    if (!errand_->finished.wait_for(lock, deadline.Left(), [&] { return errand_->done; })) {
      errand_->abandoned = true;
      return std::nullopt;
    }
    return std::move(errand_->result);
  }

  // The result once the call has ended, without waiting; nothing while it
  // still runs.
  std::optional<Result> TryTake() {
    const std::lock_guard lock(errand_->mutex);
    if (!errand_->done) return std::nullopt;
    return std::move(errand_->result);
  }

private:
  struct Errand {
    std::mutex mutex;
    std::condition_variable finished;
    std::optional<Result> result;
    bool done = false;
    bool abandoned = false;
  };
  std::shared_ptr<Errand> errand_;
};

// Runs `call` as a LeftBehindCall and waits for it until the deadline; its
// result, or nothing when the deadline passed first (or had already).
template <typename Call>
auto WithinDeadline(const Deadline& deadline, Call call)
    -> std::optional<std::invoke_result_t<Call&>> {
  if (deadline.Passed()) return std::nullopt;
  return LeftBehindCall<std::invoke_result_t<Call&>>(std::move(call)).Wait(deadline);
}

}  // namespace brisakett
