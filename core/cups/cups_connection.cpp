#include "cups/cups_connection.h"

namespace brisakett {
namespace {

// How often libcups asks KeepWaiting while a reply is overdue.
constexpr double kPollSeconds = 0.25;

}  // namespace

CupsConnection::CupsConnection() : deadline_(std::chrono::steady_clock::now() + kPatience) {
  http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                       /*blocking=*/1, static_cast<int>(kPatience.count()), nullptr);
  if (http_) httpSetTimeout(http_, kPollSeconds, &CupsConnection::KeepWaiting, this);
}

CupsConnection::~CupsConnection() {
  if (http_) httpClose(http_);
}

int CupsConnection::KeepWaiting(http_t*, void* connection) {
  return std::chrono::steady_clock::now() <
         static_cast<const CupsConnection*>(connection)->deadline_;
}

}  // namespace brisakett
