#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brisakett::tools {

// A network printer on the loopback interface that speaks AppSocket (the
// "port 9100" protocol): whatever a client sends over one connection is one
// job. A job is complete when the client shuts down its sending side; the
// server then closes its own side, which is what CUPS's socket backend waits
// for before it reports the job as printed.
class CaptureServer {
public:
  // Called on the server's own thread with the job's number (1, 2, ...)
  // and its bytes, once per complete job.
  using JobCallback = std::function<void(std::size_t number, const std::string& bytes)>;

  // Listens on address:port (an IPv4 loopback address, each printer may
  // have its own); port 0 picks a free one. Throws std::runtime_error when
  // it cannot listen.
  explicit CaptureServer(std::uint16_t port = 0, JobCallback onJob = {},
                         std::string address = "127.0.0.1");
  ~CaptureServer();

  CaptureServer(const CaptureServer&) = delete;
  CaptureServer& operator=(const CaptureServer&) = delete;

  std::uint16_t Port() const { return port_; }
  const std::string& Address() const { return address_; }

  // The complete jobs, in the order they were completed.
  std::vector<std::string> Jobs() const;

  // True once at least `count` jobs are complete; false after `timeout`.
  bool WaitForJobs(std::size_t count, std::chrono::milliseconds timeout) const;

  // Stops listening, so that new connections are refused as by a printer
  // that is switched off; connections already open carry on.
  void Refuse();
  // Listens again on the same port. False when the port is taken meanwhile.
  bool Resume();

private:
  void Serve();
  bool Listen();  // opens listener_ on port_ (0 = any); the caller holds mutex_
  void Wake() const;

  std::uint16_t port_ = 0;
  JobCallback onJob_;
  std::string address_;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  int listener_ = -1;  // owned by the server's thread once it runs
  bool wantListening_ = true;
  bool listenFailed_ = false;
  bool stopping_ = false;
  std::vector<std::string> jobs_;

  std::thread thread_;
};

}  // namespace brisakett::tools
