#include "wake_outcome.h"

#include <algorithm>
#include <iterator>

namespace brisakett {
namespace {

// From best to worst: a job still waiting (or a printer still warming up)
// will print when its queue resumes; a printer that needs a hand is up and
// says what to fix; a job whose end nobody saw may have printed; a name that is not
// listed wakes nothing until it is fixed; a job the printer lost, or one
// the spooler never took, is a failure; a print server that cannot be
// reached takes nothing at all.
constexpr int kBestToWorst[] = {kExitSucceeded,      kExitStillWaiting, kExitNeedsAttention,
                                kExitUnknown,        kExitNotRecognized, kExitFailedAtPrinter,
                                kExitRefused,        kExitUnreachable};

int Rank(int status) {
  return static_cast<int>(std::find(std::begin(kBestToWorst), std::end(kBestToWorst), status) -
                          std::begin(kBestToWorst));
}

}  // namespace

WakeOutcome OutcomeOfFailure(const ServerAnswer& failure) {
  return failure.ServerLost() ? WakeOutcome::Unreachable : WakeOutcome::Refused;
}

int ExitStatusOfFailure(const ServerAnswer& failure) {
  return ExitStatusOf(OutcomeOfFailure(failure));
}

int ExitStatusOf(WakeOutcome outcome) {
  switch (outcome) {
    case WakeOutcome::Sent:
    case WakeOutcome::Delivered:
    case WakeOutcome::Ready:
      return kExitSucceeded;
    case WakeOutcome::StillWaiting:
    case WakeOutcome::WarmingUp:
      return kExitStillWaiting;
    case WakeOutcome::NeedsAttention:
      return kExitNeedsAttention;
    case WakeOutcome::Unknown:
      return kExitUnknown;
    case WakeOutcome::FailedAtPrinter:
      return kExitFailedAtPrinter;
    case WakeOutcome::NotRecognized:
      return kExitNotRecognized;
    case WakeOutcome::Unreachable:
      return kExitUnreachable;
    case WakeOutcome::Refused:
      break;
  }
  return kExitRefused;
}

int WorseExitStatus(int a, int b) { return Rank(b) > Rank(a) ? b : a; }

const char* OutcomeKeyword(WakeOutcome outcome) {
  switch (outcome) {
    case WakeOutcome::Sent:
      return "sent";
    case WakeOutcome::Delivered:
      return "delivered";
    case WakeOutcome::Ready:
      return "ready";
    case WakeOutcome::WarmingUp:
      return "warming-up";
    case WakeOutcome::NeedsAttention:
      return "needs-attention";
    case WakeOutcome::StillWaiting:
      return "still-waiting";
    case WakeOutcome::Unknown:
      return "unknown";
    case WakeOutcome::FailedAtPrinter:
      return "failed-at-printer";
    case WakeOutcome::NotRecognized:
      return "not-recognized";
    case WakeOutcome::Unreachable:
      return "unreachable";
    case WakeOutcome::Refused:
      break;
  }
  return "refused";
}

}  // namespace brisakett
