#pragma once

#include <algorithm>
#include <chrono>
#include <string>

namespace brisakett {

// How long one answer to the user may wait for the print server. Every
// request made for that answer (the name check, the job, the list) draws on
// the same deadline, so a server that stalls at any of them costs the user
// this much and no more, however many requests are left.
class Deadline {
public:
  using Clock = std::chrono::steady_clock;

  explicit Deadline(Clock::duration budget) : end_(Clock::now() + budget) {}

  bool Passed() const { return Clock::now() >= end_; }
  Clock::duration Left() const {
    const Clock::duration left = end_ - Clock::now();
    return left > Clock::duration::zero() ? left : Clock::duration::zero();
  }
  // Time spent waiting for the user (typing a password) is not the
  // server's to answer for.
  void Extend(Clock::duration by) { end_ += by; }
  // Leaves at least `least` from now: the server's fresh allowance for a
  // verdict it may be slow to give on purpose (a wrong password).
  void AllowAtLeast(Clock::duration least) { end_ = std::max(end_, Clock::now() + least); }

private:
  Clock::time_point end_;
};

// What one press of "OK", one list or one brisakett-send call may wait for
// the print server in all. The message comes within kAnswerBound: the
// requests stop at kServerPatience, and a job left behind by the stall gets
// its cancel (kCancelPatience) and libcups' own one-second wait for the
// server's "continue" on top.
inline constexpr std::chrono::milliseconds kServerPatience{3000};
inline constexpr std::chrono::milliseconds kCancelPatience{500};
inline constexpr std::chrono::seconds kAnswerBound{5};
// After each password sent, the server's time for its verdict: a server
// that checks passwords with PAM answers a wrong one only after its
// failure delay (3.5 to 4.3 s measured), which must not read as an outage.
// Each password given adds this to the bound.
inline constexpr std::chrono::seconds kPasswordVerdictPatience{10};

// What the user reads when the print server gave no answer in time.
inline std::string NoAnswerInTime(const std::string& server) {
  return "The print server " + server + " did not answer within " +
         std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kServerPatience).count()) +
         " seconds.";
}

}  // namespace brisakett
