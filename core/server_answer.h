#pragma once

#include <string>
#include <utility>

namespace brisakett {

// How one question to the print server ended. Every question ends in
// exactly one of these, so that "said no" is never told as "cannot be
// reached", nor the other way round.
enum class ServerVerdict {
  Confirmed,      // the server answered
  Refused,        // the server said no; its reason says why
  WantsPassword,  // the server wants a password that was not given or not accepted
  Unreachable,    // the server cannot be reached, or broke off the connection
  TimedOut,       // the server did not answer within the deadline
};

// The verdict, with the server's own words (or ours, for a server that
// said nothing) whenever it is not Confirmed: never empty then, never
// "Success".
struct ServerAnswer {
  ServerVerdict verdict = ServerVerdict::Confirmed;
  std::string reason;

  bool Answered() const { return verdict == ServerVerdict::Confirmed; }
  // The server could not be talked to at all: nothing it holds is known.
  bool ServerLost() const {
    return verdict == ServerVerdict::Unreachable || verdict == ServerVerdict::TimedOut;
  }
};

// What the spooler answered, or why it could not be asked.
template <typename T>
struct SpoolerAnswer : ServerAnswer {
  T value{};

  SpoolerAnswer() = default;
  SpoolerAnswer(T answered) : value(std::move(answered)) {}  // NOLINT: an answer is its value
  SpoolerAnswer(ServerAnswer failure, T value = T{})
      : ServerAnswer(std::move(failure)), value(std::move(value)) {}
};

}  // namespace brisakett
