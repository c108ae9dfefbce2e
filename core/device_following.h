#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "deadline.h"
#include "device_status_source.h"
#include "run_inbox.h"

namespace brisakett {

// The third stage of a wake-up run: once a printer has its job, its device
// is asked every second until it reports itself ready, or something that
// keeps it from printing, or the time runs out.
//
// One reading is not taken at its word: a printer may still say idle for
// a moment after the job reaches it before it starts warming up, and one
// waking may flash offline. So the watch ends early only on two agreeing
// readings at least a second apart, the first no sooner than a second
// after delivery; when the time runs out, the last reading decides. Used
// from one thread; the devices' answers come through the inbox.
//
// A printer whose device cannot be asked, or never answers, is told by
// what the spooler last heard from the device after the job completed:
// an error it heard is a printer that needs attention; anything else
// tells nothing, and never that the printer is ready.
class DeviceFollowing {
public:
  using Clock = std::chrono::steady_clock;

  DeviceFollowing(const DeviceLocator& locator, const DeviceStatusSource& source,
                  const std::string& community, RunInbox& inbox)
      : locator_(locator), inbox_(inbox), questions_(source.Open(community)) {}

  // A printer whose job the spooler has just reported delivered.
  void Add(Underway delivered);
  bool Empty() const { return printers_.empty(); }
  // When Step has something to do.
  Clock::time_point NextStep() const;
  // Finds the devices of the printers added since (within `deadline`),
  // hears the spooler for those whose device does not tell, and asks each
  // device whose turn it is. Returns the printers whose outcome is known.
  std::vector<Underway> Step(Deadline& deadline);
  // One device's answer: returns the printers whose outcome it settles.
  std::vector<Underway> Take(const RunInbox::DeviceAnswer& answer);
  // The run is over (`why`: "the time ran out"): each printer's last
  // reading decides.
  std::vector<Underway> GiveUp(const std::string& why);

private:
  struct Printer {
    Underway run;
    Clock::time_point delivered;
    std::optional<std::string> host;  // once located
    std::optional<DeviceStatus> last;
    // The first of the latest readings that agree, once one counts.
    std::optional<DeviceStatus> firstAgreeing;
    bool spoolerHears = false;
    // Why its device does not tell, once the spooler's word is wanted.
    std::optional<std::string> hearSpooler;
    bool finished = false;
  };
  struct Host {
    bool asking = false;
    Clock::time_point nextAsk{};
    std::size_t printers = 0;  // not yet finished
  };
  void Locate(Deadline& deadline, std::vector<Underway>& ended);
  void HearSpooler(Deadline& deadline, std::vector<Underway>& ended);
  void Read(Printer& printer, const SpoolerAnswer<DeviceStatus>& answer, std::vector<Underway>& ended);
  void Finish(Printer& printer, WakeOutcome outcome, std::string reason, std::vector<Underway>& ended);
  void Sweep();

  const DeviceLocator& locator_;
  RunInbox& inbox_;
  std::vector<Printer> printers_;
  std::map<std::string, Host> hosts_;
  // Last, so that it goes first: after it no answer comes.
  std::unique_ptr<DeviceQuestions> questions_;
};

// The reason of a printer that was asked and does not tell.
inline constexpr const char* kNoDeviceStatus = "the printer does not report its status";

}  // namespace brisakett
