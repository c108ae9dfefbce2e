#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brisakett::testing {

// A job as the scheduler reports it.
struct SpooledJob {
  int id = 0;
  std::string queue;
  std::string title;  // job-name
  std::string state;  // job-state keyword: "pending", "processing", "completed", "canceled", ...
  int pages = 0;      // job-impressions-completed; CUPS counts a raw job as one
};

struct PrivateCupsdOptions {
  // Also listen on 127.0.0.1 at a free TCP port, as a print server does.
  bool listenOnTcp = false;
  // Jobs need a user name and password (Basic authentication), as on an
  // office's print server; everything else stays open.
  bool passwordForJobs = false;
  // Every request, the printer list and the default too, needs them.
  bool passwordForEverything = false;
  // The scheduler forgets each job as soon as it has ended
  // (PreserveJobHistory No), as some busy servers are set up.
  bool noJobHistory = false;
  // The scheduler can encrypt (TLS) with a self-signed certificate for
  // localhost and 127.0.0.1, for a client or proxy that asks for it.
  bool encryption = false;
  // Events the scheduler keeps per subscription (MaxEvents); 0: its 100.
  int maxEvents = 0;
  // Reading and renewing subscriptions need a password (Basic), creating
  // them does not: a policy that guards the notification operations.
  bool guardNotifications = false;
};

// A CUPS scheduler of our own, in a fresh folder under /tmp, reachable only
// through a Unix socket in that folder (and loopback TCP when asked). It
// never touches the machine's own scheduler or /etc/cups.
//
// While it lives, CUPS_SERVER names its socket, for this process and every
// program it starts, LPDEST and PRINTER are unset and HOME and
// CUPS_SERVERROOT name an empty folder of its own, so the default printer is
// the one SetDefault chose, whatever lpoptions the machine or user keeps.
// libcups remembers its server per thread: create it on the thread that
// makes the CUPS calls, or have other threads pick CUPS_SERVER up before
// they first use CUPS.
//
// As root the scheduler runs its printer programs as lp, as an installed
// CUPS does; any other user runs it as themselves.
class PrivateCupsd {
public:
  // Null, with the reason in *why, when cupsd cannot be started.
  static std::unique_ptr<PrivateCupsd> Start(std::string* why, PrivateCupsdOptions options = {});

  // Stops the scheduler, removes its folder and puts the environment back.
  ~PrivateCupsd();

  PrivateCupsd(const PrivateCupsd&) = delete;
  PrivateCupsd& operator=(const PrivateCupsd&) = delete;

  const std::string& Folder() const { return folder_; }
  const std::string& SocketPath() const { return socketPath_; }
  // The HOME that libcups sees while the scheduler lives: an lpoptions file
  // written to its .cups folder is the user's.
  std::string UserHome() const { return folder_ + "/client"; }
  // The loopback TCP port, or 0 without PrivateCupsdOptions::listenOnTcp.
  std::uint16_t TcpPort() const { return tcpPort_; }

  // A raw queue, enabled and accepting, that sends each job to the
  // AppSocket printer at host:port.
  bool AddQueue(const std::string& name, std::uint16_t port, std::string* why = nullptr,
                const std::string& host = "127.0.0.1");
  // The same, printing to the device at `deviceUri` (an IPP printer, say).
  bool AddQueue(const std::string& name, const std::string& deviceUri,
                std::string* why = nullptr);
  // Many raw queues at once, each printing to `deviceUri` (stopped ones
  // hold their jobs): the scheduler is stopped, its printers.conf written
  // whole and the scheduler started again, since lpadmin takes tens of
  // milliseconds a queue.
  bool AddQueues(const std::vector<std::string>& names, const std::string& deviceUri, bool stopped,
                 std::string* why = nullptr);
  bool SetDefault(const std::string& name, std::string* why = nullptr);
  // Reject makes the queue refuse new jobs (cupsreject); Accept undoes it.
  bool Reject(const std::string& name, std::string* why = nullptr);
  bool Accept(const std::string& name, std::string* why = nullptr);
  // Disable holds jobs in the queue without printing them (cupsdisable).
  bool Disable(const std::string& name, std::string* why = nullptr);
  bool Enable(const std::string& name, std::string* why = nullptr);

  // Stops the scheduler and keeps its folder, queues and jobs, so that
  // Restart brings the same scheduler back.
  void Stop();
  bool Restart(std::string* why = nullptr);
  bool Running() const { return pid_ > 0; }
  // The scheduler's process, for a test that freezes it (SIGSTOP).
  pid_t Pid() const { return pid_; }

  // Every job the scheduler knows, oldest first. Empty when it is stopped.
  std::vector<SpooledJob> Jobs() const;
  // True once at least `count` jobs are completed; false after `timeout`.
  bool WaitForCompletedJobs(std::size_t count, std::chrono::milliseconds timeout) const;

  // The lease times left of the scheduler's subscriptions, in seconds
  // (0 for one without an end).
  std::vector<int> SubscriptionLeases() const;

  // The page log, one line per finished job: "QUEUE JOB-ID total PAGES JOB-NAME".
  std::string PageLog() const;
  // The scheduler's error log, for a failing test to show.
  std::string ErrorLog() const;

private:
  PrivateCupsd() = default;
  bool WriteConfiguration(const PrivateCupsdOptions& options, std::string* why);
  bool Launch(std::string* why);
  bool Administer(const std::string& program, std::vector<std::string> arguments,
                  std::string* why);
  void UseThisScheduler();
  void RestoreEnvironment();

  std::string folder_;
  std::string socketPath_;
  std::uint16_t tcpPort_ = 0;
  pid_t pid_ = -1;
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

// A loopback TCP port that was free a moment ago, to hand to a server.
std::uint16_t FreeLoopbackPort();

// True on the CI machine (CI=true), where a test that needs cupsd fails
// when it cannot start one, instead of being skipped.
bool CupsdRequired();

}  // namespace brisakett::testing
