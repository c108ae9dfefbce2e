#pragma once

#include <cups/cups.h>

#include <string>
#include <string_view>

#include "cups/ipp_endpoint.h"
#include "deadline.h"
#include "password_prompt.h"
#include "server_answer.h"

namespace brisakett {

// A connection of our own to a print server (by default the one that
// CUPS_SERVER, client.conf or the local default name give, the one
// CUPS_HTTP_DEFAULT would reach) or an IPP printer, whose every step
// gives up once the deadline has passed: the name look-up, the
// connect, the TLS negotiation (CUPS_ENCRYPTION, or a server that answers
// "426 Upgrade Required"), each request and reply. libcups' default
// connection waits up to a minute for each reply and then retries, so a
// print server that accepts connections but never answers would freeze the
// window for minutes.
//
// While it lives, a password the server asks for goes to the login's
// prompt, never to the terminal; libcups keeps that per thread, so the
// connection belongs to the thread that made it.
class CupsConnection {
public:
  // To the login's print server.
  CupsConnection(Deadline& deadline, const SpoolerLogin& login);
  CupsConnection(Deadline& deadline, const SpoolerLogin& login, IppEndpoint endpoint);
  ~CupsConnection();

  CupsConnection(const CupsConnection&) = delete;
  CupsConnection& operator=(const CupsConnection&) = delete;

  // False when the scheduler cannot be reached. Check it before using Http():
  // to libcups a null connection means its own default one.
  bool Connected() const { return http_ != nullptr; }
  // The connection kept for further requests under a new deadline: one
  // that broke off or timed out is connected again within it.
  void Use(Deadline& deadline);
  http_t* Http() const { return http_; }

  // Sends the whole request at once (and frees it), then reads the answer
  // in a few large reads, where libcups' own reading takes a system call
  // for every few bytes of a long printer list. Null when no IPP answer
  // came; the answer's own status may still be an error. A server that
  // wants a password is answered through the login's prompt and asked
  // again.
  ipp_t* Exchange(ipp_t* request, const char* resource);
  // The same, giving the answer's bytes unread, for a caller that wants a
  // few values out of a long answer. False when no answer came.
  bool ExchangeForBytes(ipp_t* request, const char* resource, std::string& body);
  // An answer's bytes as libcups reads them; null when they are no answer.
  ipp_t* Parse(const std::string& body);

  // The same for a request that changes something (a job, its document):
  // only the request's headers go out until the server has said "100
  // Continue", so a server that stalls before it reads the request is left
  // no complete request to act on when it wakes.
  ipp_t* ExchangeWhenHeard(ipp_t* request, const char* resource, std::string_view document = {});

  // How the last request failed, with the reason in words for the user;
  // never empty, never "Success". Also after libcups' own requests made
  // on Http().
  ServerAnswer Failure() const;
  // How an answer that came ended: Confirmed for a successful status,
  // otherwise the server's refusal in its own words.
  static ServerAnswer Verdict(ipp_t* response);
  static ServerAnswer Verdict(ipp_status_t status, std::string message);
  // The server as the user knows it: its host name, or "localhost" for
  // the local scheduler's socket.
  std::string ServerName() const { return endpoint_.Name(); }

private:
  void Connect();
  void TakeLogin();
  bool Send(ipp_t* request, const char* resource, std::string_view document, bool whenHeard,
            std::string& body);
  bool WaitUntilReadable();
  bool ReadBody(std::string& body);
  static int KeepWaiting(http_t* http, void* connection);
  static const char* AskPassword(const char* prompt, http_t* http, const char* method,
                                 const char* resource, void* connection);

  Deadline* deadline_;
  const SpoolerLogin& login_;
  const IppEndpoint endpoint_;
  bool timedOut_ = false;
  bool broken_ = false;
  bool tooLong_ = false;
  http_status_t httpStatus_ = HTTP_STATUS_OK;
  bool unresolved_ = false;
  int passwordsAsked_ = 0;
  std::string password_;
  http_t* http_ = nullptr;
};

}  // namespace brisakett
