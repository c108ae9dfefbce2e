#include "cups/cups_connection.h"

#include <arpa/inet.h>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "within_deadline.h"

namespace brisakett {
namespace {

// How long libcups waits on a silent connection before it asks
// KeepWaiting again: how far past the deadline a request may run.
constexpr double kPollSeconds = 0.1;
constexpr int kPollMilliseconds = 100;

// A wrong password is asked for again; after this many the request fails.
constexpr int kPasswordTries = 3;
// libcups sends a Basic password the server refused once more before it
// asks for another, so each password may take two rounds; one more for
// the first, unauthenticated request and one for a switch to TLS.
constexpr int kRounds = 2 * kPasswordTries + 2;

// Far more than the list of thousands of queues takes.
constexpr std::size_t kLongestAnswer = 64 * 1024 * 1024;

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

int Milliseconds(Deadline::Clock::duration duration) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(duration).count());
}

struct FreeAddresses {
  void operator()(http_addrlist_t* addresses) const { httpAddrFreeList(addresses); }
};
using Addresses = std::unique_ptr<http_addrlist_t, FreeAddresses>;

// Whether libcups makes the server's addresses without asking a name
// server: the scheduler's socket, "localhost" (the loopback addresses) and
// a numeric address (an IPv6 one in brackets).
bool NeedsNoLookUp(const std::string& server) {
  if (server.starts_with('/') || strcasecmp(server.c_str(), "localhost") == 0) return true;
  const bool bracketed = server.size() > 2 && server.front() == '[' && server.back() == ']';
  const std::string address = bracketed ? server.substr(1, server.size() - 2) : server;
  in6_addr bytes{};
  return inet_pton(AF_INET, address.c_str(), &bytes) == 1 ||
         inet_pton(AF_INET6, address.c_str(), &bytes) == 1;
}

bool IsError(ipp_status_t status) { return status > IPP_STATUS_OK_CONFLICTING; }

// libcups words some failures with strerror(errno), which reads "Success"
// when errno was cleared on the way.
bool SaysSomething(const char* text) {
  return text && *text && std::strcmp(text, std::strerror(0)) != 0;
}

}  // namespace

CupsConnection::CupsConnection(Deadline& deadline, const SpoolerLogin& login)
    : CupsConnection(deadline, login, IppEndpoint::Server(login.server)) {}

CupsConnection::CupsConnection(Deadline& deadline, const SpoolerLogin& login, IppEndpoint endpoint)
    : deadline_(&deadline), login_(login), endpoint_(std::move(endpoint)) {
  TakeLogin();  // libcups' own requests on Http() (cupsGetNamedDest) ask through it too
  Connect();
}

void CupsConnection::Use(Deadline& deadline) {
  deadline_ = &deadline;
  const bool lost = timedOut_ || broken_;
  timedOut_ = broken_ = unresolved_ = tooLong_ = false;
  httpStatus_ = HTTP_STATUS_OK;
  if (!http_) {
    Connect();
  } else if (lost && httpReconnect2(http_, std::max(Milliseconds(deadline_->Left()), 1), nullptr) != 0) {
    (deadline_->Passed() ? timedOut_ : broken_) = true;
  }
}

// libcups keeps the user and the password callback per thread, not per
// connection: each request sets them for itself, so that connections of
// the same thread do not take each other's.
void CupsConnection::TakeLogin() {
  if (!login_.user.empty()) cupsSetUser(login_.user.c_str());
  cupsSetPasswordCB2(&CupsConnection::AskPassword, this);
}

// httpConnect2 would look the name up and negotiate TLS before a timeout
// callback can be set, each step with patience of its own (ten seconds, a
// minute). So the name is looked up here (on a thread left behind at the
// deadline, where a name server is asked at all), the connection made
// without connecting, the callback set, and only then connected: the
// connect, and the TLS that CUPS_ENCRYPTION asks for, wait on the deadline.
void CupsConnection::Connect() {
  if (deadline_->Passed()) {
    timedOut_ = true;
    return;
  }
  const std::string& server = endpoint_.host;
  const std::string service = std::to_string(endpoint_.port);
  Addresses addresses;
  if (NeedsNoLookUp(server)) {
    addresses.reset(httpAddrGetList(server.c_str(), AF_UNSPEC, service.c_str()));
  } else {
    // A name server that never answers costs the deadline and no more.
    std::optional<Addresses> found = WithinDeadline(*deadline_, [server, service] {
      return Addresses(httpAddrGetList(server.c_str(), AF_UNSPEC, service.c_str()));
    });
    timedOut_ = !found;
    if (found) addresses = std::move(*found);
  }
  if (!addresses) {
    unresolved_ = !timedOut_;
    return;
  }
  http_ = httpConnect2(server.c_str(), endpoint_.port, addresses.get(), AF_UNSPEC, endpoint_.encryption,
                       /*blocking=*/1, /*msec=*/0, nullptr);
  if (!http_) return;
  httpSetTimeout(http_, kPollSeconds, &CupsConnection::KeepWaiting, this);
  if (httpReconnect2(http_, std::max(Milliseconds(deadline_->Left()), 1), nullptr) != 0) {
    if (deadline_->Passed()) timedOut_ = true;
    httpClose(http_);
    http_ = nullptr;
  }
}

CupsConnection::~CupsConnection() {
  if (http_) httpClose(http_);
  cupsSetPasswordCB2(&RefusePassword, nullptr);
  std::fill(password_.begin(), password_.end(), '\0');
}

int CupsConnection::KeepWaiting(http_t*, void* connection) {
  auto& self = *static_cast<CupsConnection*>(connection);
  if (self.deadline_->Passed()) self.timedOut_ = true;
  return !self.timedOut_;
}

const char* CupsConnection::AskPassword(const char*, http_t*, const char*, const char*,
                                        void* connection) {
  auto& self = *static_cast<CupsConnection*>(connection);
  if (!self.login_.prompt || self.passwordsAsked_ >= kPasswordTries) return nullptr;
  // Asked again on the same connection: the server refused the last one.
  if (self.passwordsAsked_ > 0) self.login_.prompt->Refused(self.ServerName());
  ++self.passwordsAsked_;
  std::string user = cupsUser();
  const Deadline::Clock::time_point asked = Deadline::Clock::now();
  std::optional<std::string> password = self.login_.prompt->Ask(self.ServerName(), user);
  self.deadline_->Extend(Deadline::Clock::now() - asked);
  if (!password) return nullptr;
  // libcups' own requests (cupsGetNamedDest) send it without Send.
  self.deadline_->AllowAtLeast(kPasswordVerdictPatience);
  // libcups reads the user name back after this callback.
  cupsSetUser(user.c_str());
  std::fill(self.password_.begin(), self.password_.end(), '\0');
  self.password_ = std::move(*password);
  return self.password_.c_str();
}

ipp_t* CupsConnection::Exchange(ipp_t* request, const char* resource) {
  std::string body;
  return Send(request, resource, {}, /*whenHeard=*/false, body) ? Parse(body) : nullptr;
}

bool CupsConnection::ExchangeForBytes(ipp_t* request, const char* resource, std::string& body) {
  return Send(request, resource, {}, /*whenHeard=*/false, body);
}

ipp_t* CupsConnection::ExchangeWhenHeard(ipp_t* request, const char* resource,
                                         std::string_view document) {
  std::string body;
  return Send(request, resource, document, /*whenHeard=*/true, body) ? Parse(body) : nullptr;
}

// libcups' cupsSendRequest would do, but it waits up to a second for a
// "100 Continue" after the whole request is out, past any deadline, and it
// cannot hold the request back until the server has heard the headers. Its
// answers to the server are kept: "401 Unauthorized" is authenticated
// (through the login's prompt) and sent again, "426 Upgrade Required"
// switches the connection to TLS and sends again.
bool CupsConnection::Send(ipp_t* request, const char* resource, std::string_view document,
                          bool whenHeard, std::string& body) {
  httpStatus_ = HTTP_STATUS_OK;
  // libcups asks the deadline only after it has waited in silence: a run
  // of quick answers would never be stopped.
  if (deadline_->Passed()) {
    timedOut_ = true;
    ippDelete(request);
    return false;
  }
  TakeLogin();
  bool answered = false;
  bool upgrade = false;
  for (int round = 0; http_ && round < kRounds; ++round) {
    if (round > 0 && httpReconnect2(http_, std::max(Milliseconds(deadline_->Left()), 1), nullptr)) {
      (deadline_->Passed() ? timedOut_ : broken_) = true;
      break;
    }
    if (upgrade && httpEncryption(http_, HTTP_ENCRYPTION_REQUIRED) != 0) {
      broken_ = !timedOut_;
      break;
    }
    httpClearFields(http_);
    if (whenHeard) httpSetExpect(http_, HTTP_STATUS_CONTINUE);
    httpSetField(http_, HTTP_FIELD_CONTENT_TYPE, "application/ipp");
    httpSetLength(http_, ippLength(request) + document.size());
    httpSetField(http_, HTTP_FIELD_AUTHORIZATION, httpGetAuthString(http_));
    if (httpPost(http_, resource) != 0) {
      broken_ = true;
      break;
    }
    http_status_t status = HTTP_STATUS_CONTINUE;
    if (whenHeard) {
      if (!WaitUntilReadable()) break;
      status = httpUpdate(http_);
    }
    if (status == HTTP_STATUS_CONTINUE) {
      ipp_state_t state;
      ippSetState(request, IPP_STATE_IDLE);
      while ((state = ippWrite(http_, request)) != IPP_STATE_DATA) {
        if (state == IPP_STATE_ERROR) break;
      }
      if (state == IPP_STATE_ERROR ||
          (!document.empty() && httpWrite2(http_, document.data(), document.size()) < 0)) {
        broken_ = !timedOut_;
        break;
      }
      answered = ReadBody(body);
      if (answered) break;
    } else {
      // Refused before the request was sent: its answer has no IPP body.
      httpStatus_ = status;
      httpFlush(http_);
    }
    if (httpStatus_ == HTTP_STATUS_UPGRADE_REQUIRED && !upgrade) {
      upgrade = true;
    } else if (httpStatus_ != HTTP_STATUS_UNAUTHORIZED ||
               cupsDoAuthentication(http_, "POST", resource) != 0) {
      break;
    } else {
      // A password goes out again: the server's verdict on it may be slow.
      deadline_->AllowAtLeast(kPasswordVerdictPatience);
    }
    httpStatus_ = HTTP_STATUS_OK;
  }
  ippDelete(request);
  return answered;
}

bool CupsConnection::WaitUntilReadable() {
  while (!httpWait(http_, kPollMilliseconds)) {
    if (deadline_->Passed()) {
      timedOut_ = true;
      return false;
    }
  }
  return true;
}

bool CupsConnection::ReadBody(std::string& body) {
  http_status_t status;
  while ((status = httpUpdate(http_)) == HTTP_STATUS_CONTINUE) {
  }
  if (status != HTTP_STATUS_OK) {
    httpStatus_ = status;
    broken_ = status == HTTP_STATUS_ERROR && !timedOut_;
    httpFlush(http_);
    return false;
  }

  body.clear();
  std::vector<char> chunk(64 * 1024);
  ssize_t read = 0;
  while ((read = httpRead2(http_, chunk.data(), chunk.size())) > 0) {
    body.append(chunk.data(), static_cast<std::size_t>(read));
    // An answer is untrusted: one without end must not take the memory.
    if (body.size() > kLongestAnswer) {
      tooLong_ = true;
      httpShutdown(http_);
      break;
    }
    if (deadline_->Passed()) timedOut_ = true;
    if (timedOut_) break;
  }
  if (read < 0 || timedOut_ || tooLong_) {
    broken_ = !timedOut_;
    return false;
  }
  return true;
}

ipp_t* CupsConnection::Parse(const std::string& body) {
  ipp_t* response = ippNew();
  MemoryReader reader{body};
  ipp_state_t state;
  while ((state = ippReadIO(&reader, ReadFromMemory, 1, nullptr, response)) != IPP_STATE_DATA) {
    if (state == IPP_STATE_ERROR) {
      ippDelete(response);
      broken_ = true;
      return nullptr;
    }
  }
  return response;
}

ServerAnswer CupsConnection::Failure() const {
  const std::string server = "The print server " + ServerName();
  if (timedOut_) return {ServerVerdict::TimedOut, NoAnswerInTime(ServerName())};
  if (!http_ || unresolved_) return {ServerVerdict::Unreachable, server + " cannot be reached."};
  if (tooLong_) return {ServerVerdict::Unreachable, server + " sent an answer too long to read."};
  if (broken_ || httpStatus_ == HTTP_STATUS_ERROR) {
    return {ServerVerdict::Unreachable, server + " broke off the connection."};
  }
  if (httpStatus_ == HTTP_STATUS_UNAUTHORIZED ||
      httpStatus_ == HTTP_STATUS_CUPS_AUTHORIZATION_CANCELED) {
    return {ServerVerdict::WantsPassword, httpStatus(HTTP_STATUS_UNAUTHORIZED)};
  }
  if (httpStatus_ != HTTP_STATUS_OK) return {ServerVerdict::Refused, httpStatus(httpStatus_)};

  // After libcups' own requests (cupsGetNamedDest) only its last error tells.
  const ipp_status_t status = cupsLastError();
  const char* text = cupsLastErrorString();
  if (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL) {
    return {ServerVerdict::Unreachable,
            SaysSomething(text) ? std::string(text) : server + " cannot be reached."};
  }
  if (IsError(status)) return Verdict(status, SaysSomething(text) ? text : "");
  return {ServerVerdict::Unreachable, server + " gave no answer."};
}

ServerAnswer CupsConnection::Verdict(ipp_t* response) {
  const char* message =
      ippGetString(ippFindAttribute(response, "status-message", IPP_TAG_TEXT), 0, nullptr);
  return Verdict(ippGetStatusCode(response), message ? message : "");
}

ServerAnswer CupsConnection::Verdict(ipp_status_t status, std::string message) {
  if (!IsError(status)) return {};
  if (message.empty()) message = ippErrorString(status);
  if (status == IPP_STATUS_ERROR_NOT_AUTHENTICATED ||
      status == IPP_STATUS_ERROR_CUPS_AUTHENTICATION_CANCELED) {
    return {ServerVerdict::WantsPassword, std::move(message)};
  }
  return {ServerVerdict::Refused, std::move(message)};
}

}  // namespace brisakett
