#pragma once

#include <cups/cups.h>

#include <chrono>

namespace brisakett {

// A connection of our own to the scheduler that CUPS_SERVER, client.conf or
// the local default name, the one CUPS_HTTP_DEFAULT would reach, that gives
// up once the scheduler has kept one request waiting for kPatience. libcups'
// default connection waits up to a minute for each reply and then retries,
// so a print server that accepts connections but never answers would freeze
// the window for minutes.
class CupsConnection {
public:
  static constexpr std::chrono::milliseconds kPatience{2500};

  CupsConnection();
  ~CupsConnection();

  CupsConnection(const CupsConnection&) = delete;
  CupsConnection& operator=(const CupsConnection&) = delete;

  // False when the scheduler cannot be reached. Check it before using Http():
  // to libcups a null connection means its own default one.
  bool Connected() const { return http_ != nullptr; }
  // Gives the next request its own kPatience, so that a slow but answering
  // server is not cut off halfway through a job it is taking.
  void RenewPatience() { deadline_ = std::chrono::steady_clock::now() + kPatience; }
  http_t* Http() const { return http_; }

private:
  static int KeepWaiting(http_t* http, void* connection);

  std::chrono::steady_clock::time_point deadline_;
  http_t* http_ = nullptr;
};

}  // namespace brisakett
