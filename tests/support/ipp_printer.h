#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "loopback_socket.h"
#include "temp_folder.h"

namespace brisakett::testing {

// An IPP printer of our own (ippeveprinter, Debian package cups-ipp-utils)
// on a free loopback port, that takes only the document formats given: a
// document it cannot identify as one of them, as a raw job, it refuses.
// With a `command`, each job it takes is given to that program, whose
// "STATE: +reason" lines on standard error become the printer's state
// reasons (with "-warning" while it prints, "-report" once idle).
class IppPrinter {
public:
  // Null, with the reason in *why, when it cannot be started.
  static std::unique_ptr<IppPrinter> Start(const std::string& formats, std::string* why,
                                           const std::string& command = {});
  ~IppPrinter();

  IppPrinter(const IppPrinter&) = delete;
  IppPrinter& operator=(const IppPrinter&) = delete;

  // The device URI for a queue that prints to it, over TLS with "ipps".
  std::string Uri(const std::string& scheme = "ipp") const {
    return scheme + "://127.0.0.1:" + std::to_string(port_) + "/ipp/print";
  }
  // What it logged, for a failing test to show.
  std::string Log() const { return ReadFile(folder_.path() / "log"); }

private:
  IppPrinter() = default;

  TempFolder folder_;
  pid_t bus_ = -1;
  pid_t printer_ = -1;
  std::uint16_t port_ = 0;
};

// An IPP printer of the tests' own, for what ippeveprinter cannot show: a
// printer stopped, with "-error" or suffix-less reasons, warming up for a
// while after its first job, late, silent, gone once it has printed, or
// answering with values of the wrong type. It answers Get-Printer-Attributes, and takes jobs as
// CUPS' ipp backend sends them (Print-Job, Get-Job-Attributes), each done
// at once. One printer may listen on several loopback addresses, all in
// one state, at one port.
class ScriptedIppPrinter {
public:
  struct State {
    int printerState = 3;  // 0: not given
    std::vector<std::string> reasons{"none"};
    std::string message{};
  };
  struct Behaviour {
    State state{};                   // before its first job, and once warm
    std::optional<State> warming{};  // for `warmUp` from its first job
    std::chrono::milliseconds warmUp{0};
    std::chrono::milliseconds delay{0};  // before each answer
    bool silent = false;                 // takes connections, never answers
    bool diesAfterJob = false;           // shuts every connection made after its first job
    bool wrongTypes = false;             // printer-state as a keyword
  };

  // Port() is 0 when it could not listen on every address.
  ScriptedIppPrinter(const std::vector<std::string>& addresses, Behaviour behaviour, std::uint16_t port = 0);
  ~ScriptedIppPrinter();

  ScriptedIppPrinter(const ScriptedIppPrinter&) = delete;
  ScriptedIppPrinter& operator=(const ScriptedIppPrinter&) = delete;

  std::uint16_t Port() const { return port_; }
  std::string Uri(const std::string& address) const {
    return "ipp://" + address + ":" + std::to_string(port_) + "/ipp/print";
  }
  void Set(const Behaviour& behaviour);
  // Forgets its first job: the next one starts the warm-up again.
  void Rest();
  int Jobs() const { return jobs_; }

private:
  void Serve(int client);
  std::string Answer(const std::string& request);
  State Now();

  std::mutex mutex_;
  Behaviour behaviour_;
  std::optional<std::chrono::steady_clock::time_point> firstJob_;
  std::atomic<int> jobs_{0};
  std::atomic<bool> stopping_{false};
  std::uint16_t port_ = 0;
  // Last, so that they stop first.
  std::vector<std::unique_ptr<LoopbackService>> services_;
};

}  // namespace brisakett::testing
