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

// Runs `call` on a thread of its own and waits for it until the deadline;
// its result, or nothing when the deadline passed first. The winspool
// calls that may reach a print server (opening a printer, reading a job or
// the list) wait on RPC for as long as the network lets them, half a
// minute and more for a server that is switched off, and cannot be
// cancelled. So the caller leaves such a call behind instead: the thread
// owns the call and everything it uses, and a result that came too late
// dies with the thread; its destructor closes what it holds (a printer
// handle).
//
// `call` is moved to the thread: it must hold what it uses by value, never
// by reference to the caller's locals. A result must carry its own
// GetLastError(), which is the calling thread's.
template <typename Call>
auto WithinDeadline(const Deadline& deadline, Call call)
    -> std::optional<std::invoke_result_t<Call&>> {
  using Result = std::invoke_result_t<Call&>;
  struct Errand {
    std::mutex mutex;
    std::condition_variable finished;
    std::optional<Result> result;
    bool abandoned = false;
  };
  if (deadline.Passed()) return std::nullopt;
  auto errand = std::make_shared<Errand>();
  std::thread([errand, call = std::move(call)]() mutable {
    Result result = call();
    const std::lock_guard lock(errand->mutex);
    if (!errand->abandoned) errand->result.emplace(std::move(result));
    errand->finished.notify_all();
  }).detach();
  std::unique_lock lock(errand->mutex);
  if (!errand->finished.wait_for(lock, deadline.Left(),
                                 [&] { return errand->result.has_value(); })) {
    errand->abandoned = true;
    return std::nullopt;
  }
  return std::move(errand->result);
}

}  // namespace brisakett
