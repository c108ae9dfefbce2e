#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

namespace brisakett::testing {

// A printer's SNMP agent of the tests' own, on a UDP port of a loopback
// address, for what snmpd cannot be made to send: late answers, a lost
// first request, broken replies. It speaks SNMP v1 and v2c GET and GETNEXT
// (BER by hand, so a reply can be broken on purpose) and knows the three
// values of one printer's row.
class SnmpTestAgent {
public:
  enum class Fault {
    None,
    ErrorIndexZero,    // "noSuchName" at error-index 0
    ErrorIndexBeyond,  // "noSuchName" at an index past the request's values
    WrongTypes,        // hrPrinterStatus as a string, hrDeviceStatus as an OID
    Truncated,         // the first half of a good reply
    Garbage,           // bytes that are no SNMP message
    WrongRow,          // values named for another row than asked
  };
  struct Printer {
    std::optional<long> deviceStatus = 2, printerStatus = 3;
    std::string errorState = std::string(2, '\0');
    long row = 1;
    std::set<long> versions{0, 1};  // 0 is v1, 1 is v2c; others go unanswered
    std::chrono::milliseconds delay{0};
    int ignoreFirst = 0;  // requests dropped before the first answered
    Fault fault = Fault::None;  // of the replies to a GET
    // From JobArrived, hrPrinterStatus is warmup(5) for this long.
    std::chrono::milliseconds warmUp{0};
  };

  // On `address` (127.0.0.x) at `port`, or at a port of its own for 0;
  // Port() is 0 when it could not bind.
  SnmpTestAgent(const std::string& address, Printer printer, std::uint16_t port = 0);
  ~SnmpTestAgent();

  SnmpTestAgent(const SnmpTestAgent&) = delete;
  SnmpTestAgent& operator=(const SnmpTestAgent&) = delete;

  std::uint16_t Port() const { return port_; }
  void Set(const Printer& printer);
  int Requests() const { return requests_; }
  // A job reached the printer: it warms up, unless it has since the last
  // Rest. Any thread may call them.
  void JobArrived();
  void Rest();

private:
  void Serve();

  int fd_ = -1;
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  Printer printer_;
  std::optional<std::chrono::steady_clock::time_point> jobArrived_;
  std::atomic<int> requests_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace brisakett::testing
