#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>

#include "deadline.h"

namespace brisakett {

// When one wake-up run must end: its time, counted from its start, or a
// request to stop (a signal), whichever comes first.
struct RunBound {
  using Clock = std::chrono::steady_clock;

  Clock::time_point end = Clock::time_point::max();
  const std::atomic<bool>* stop = nullptr;

  bool Stopped() const { return stop && stop->load(); }
  bool Over() const { return Stopped() || Clock::now() >= end; }
  // Why the run ended early, for the reasons of what it left unfinished.
  const char* Why() const { return Stopped() ? "the run was stopped" : "the time ran out"; }
  // A question's deadline: the patience of one answer, never past the end.
  Deadline NextDeadline() const {
    const Clock::duration left = std::max<Clock::duration>(end - Clock::now(), Clock::duration::zero());
    return Deadline(std::min<Clock::duration>(kServerPatience, left));
  }
  // The cancels of the jobs still waiting when the run ends: all of them
  // within the run's promise (its end plus kAnswerBound), less the
  // subscription's own cancel that comes after them.
  Deadline CancelDeadline() const {
    const Clock::time_point now = Clock::now();
    const Clock::time_point last = std::min(end, now) + kAnswerBound - kCancelPatience;
    return Deadline(std::max<Clock::duration>(last - now, Clock::duration::zero()));
  }
};

}  // namespace brisakett
