#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace brisakett::testing {

// What a simulated printer's status agent answers for hrDeviceStatus,
// hrPrinterStatus and hrPrinterDetectedErrorState.
enum class SimulatedPrinter {
  // In power save (running, other) until JobArrived, then for
  // `warmUpSeconds` (whole seconds, as `date +%s` counts) moving on-line
  // as RFC 3805 reports it (down, warmup), then idle.
  WarmsUpAfterJob,
  DoorOpen,         // warning, idle, and the doorOpen bit
  WarmsUpForever,   // running, warmup
  ServiceReminder,  // warning, idle, and the serviceRequested bit: it prints
};

struct AgentOptions {
  int warmUpSeconds = 3;
  long row = 1;          // the printer's hrDeviceIndex
  bool v2cOnly = false;  // an agent configured for SNMPv2c alone
};

// Debian's snmpd on address:161 of its own (loopback addresses, one or
// more, all playing the same printer; port 161 needs root), with its own configuration and folder under /tmp, whose
// Host Resources values come from a `pass` script playing the printer
// instead of from this machine's printers.
class PrivateSnmpd {
public:
  // Null, with the reason in *why, when snmpd cannot be started.
  static std::unique_ptr<PrivateSnmpd> Start(const std::vector<std::string>& addresses,
                                             SimulatedPrinter printer, std::string* why,
                                             AgentOptions options = {});
  ~PrivateSnmpd();

  PrivateSnmpd(const PrivateSnmpd&) = delete;
  PrivateSnmpd& operator=(const PrivateSnmpd&) = delete;

  // The printer received a job: a WarmsUpAfterJob printer starts warming
  // up, unless it has since the last Rest. Any thread may call it (a
  // capture printer's job callback).
  void JobArrived() const;
  // Back to power save.
  void Rest() const;
  // Stops answering, as a device that went away (SIGSTOP).
  void Freeze() const;

private:
  PrivateSnmpd() = default;
  std::string folder_;
  pid_t pid_ = -1;
};

}  // namespace brisakett::testing
