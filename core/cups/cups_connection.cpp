#include "cups/cups_connection.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace brisakett {
namespace {

// How long libcups waits on a silent connection before it asks
// KeepWaiting again: how far past the deadline a request may run.
constexpr double kPollSeconds = 0.1;

// libcups asks again after a wrong password; after this many it gives up.
constexpr int kPasswordTries = 3;

// Never the terminal: without a prompt of ours, a server that wants a
// password is refused at once.
const char* RefusePassword(const char*, http_t*, const char*, const char*, void*) {
  return nullptr;
}

struct MemoryReader {
  const std::string& bytes;
  std::size_t at = 0;
};

ssize_t ReadFromMemory(void* context, ipp_uchar_t* buffer, size_t length) {
  auto& reader = *static_cast<MemoryReader*>(context);
  const std::size_t count = std::min(length, reader.bytes.size() - reader.at);
  std::memcpy(buffer, reader.bytes.data() + reader.at, count);
  reader.at += count;
  return static_cast<ssize_t>(count);
}

bool IsError(ipp_status_t status) { return status > IPP_STATUS_OK_CONFLICTING; }

}  // namespace

CupsConnection::CupsConnection(Deadline& deadline, const SpoolerLogin& login)
    : deadline_(deadline), login_(login) {
  if (!login_.user.empty()) cupsSetUser(login_.user.c_str());
  cupsSetPasswordCB2(&CupsConnection::AskPassword, this);
  if (deadline_.Passed()) {
    timedOut_ = true;
    return;
  }
  const int connectMilliseconds = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline_.Left()).count());
  http_ = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                       /*blocking=*/1, std::max(connectMilliseconds, 1), nullptr);
  if (http_) httpSetTimeout(http_, kPollSeconds, &CupsConnection::KeepWaiting, this);
}

CupsConnection::~CupsConnection() {
  if (http_) httpClose(http_);
  cupsSetPasswordCB2(&RefusePassword, nullptr);
  std::fill(password_.begin(), password_.end(), '\0');
}

int CupsConnection::KeepWaiting(http_t*, void* connection) {
  auto& self = *static_cast<CupsConnection*>(connection);
  if (self.deadline_.Passed()) self.timedOut_ = true;
  return !self.timedOut_;
}

const char* CupsConnection::AskPassword(const char*, http_t*, const char*, const char*,
                                        void* connection) {
  auto& self = *static_cast<CupsConnection*>(connection);
  if (!self.login_.prompt || self.passwordsAsked_ >= kPasswordTries) return nullptr;
  ++self.passwordsAsked_;
  std::string user = cupsUser();
  const Deadline::Clock::time_point asked = Deadline::Clock::now();
  std::optional<std::string> password = self.login_.prompt->Ask(ServerName(), user);
  self.deadline_.Extend(Deadline::Clock::now() - asked);
  if (!password) return nullptr;
  // libcups reads the user name back after this callback.
  cupsSetUser(user.c_str());
  std::fill(self.password_.begin(), self.password_.end(), '\0');
  self.password_ = std::move(*password);
  return self.password_.c_str();
}

ipp_t* CupsConnection::Exchange(ipp_t* request, const char* resource) {
  if (!http_) {
    ippDelete(request);
    return nullptr;
  }
  http_status_t status = cupsSendRequest(http_, request, resource, ippLength(request));
  ippDelete(request);
  if (status != HTTP_STATUS_CONTINUE && status != HTTP_STATUS_OK) return nullptr;
  while ((status = httpUpdate(http_)) == HTTP_STATUS_CONTINUE) {
  }
  if (status != HTTP_STATUS_OK) {
    httpFlush(http_);
    return nullptr;
  }

  std::string body;
  std::vector<char> chunk(64 * 1024);
  ssize_t read = 0;
  while ((read = httpRead2(http_, chunk.data(), chunk.size())) > 0) {
    body.append(chunk.data(), static_cast<std::size_t>(read));
  }
  if (read < 0 || timedOut_) return nullptr;

  ipp_t* response = ippNew();
  MemoryReader reader{body};
  ipp_state_t state;
  while ((state = ippReadIO(&reader, ReadFromMemory, 1, nullptr, response)) != IPP_STATE_DATA) {
    if (state == IPP_STATE_ERROR) {
      ippDelete(response);
      return nullptr;
    }
  }
  return response;
}

bool CupsConnection::LostServer() const {
  if (timedOut_ || !http_) return true;
  const ipp_status_t status = cupsLastError();
  return status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL ||
         httpError(http_) != 0;
}

std::string CupsConnection::FailureReason() const {
  const std::string server = "The print server " + ServerName();
  if (timedOut_) {
    return server + " did not answer within " +
           std::to_string(std::chrono::duration_cast<std::chrono::seconds>(kServerPatience).count()) +
           " seconds.";
  }
  if (!http_) return server + " cannot be reached.";

  const ipp_status_t status = cupsLastError();
  const char* text = cupsLastErrorString();
  // libcups words a broken connection with strerror(errno), which is
  // "Success" when the errno was cleared on the way.
  const bool meaningless = !text || !*text || std::strcmp(text, std::strerror(0)) == 0;
  if (!meaningless && IsError(status)) return text;
  if (httpError(http_) != 0) return server + " broke off the connection (" + std::strerror(httpError(http_)) + ").";
  if (IsError(status)) return ippErrorString(status);
  return server + " gave no answer.";
}

std::string CupsConnection::ServerName() {
  const char* server = cupsServer();
  if (!server || !*server || server[0] == '/') return "localhost";
  return server;
}

}  // namespace brisakett
