#include "cups/cups_spooler.h"

#include <cups/cups.h>

#include <cstring>

#include "cups/cups_connection.h"

namespace brisakett {
namespace {

bool IsError(ipp_status_t status) { return status > IPP_STATUS_OK_CONFLICTING; }

// One queue, spoken to as `lp` does: Create-Job, then Send-Document with
// the data, each answer read and checked before the job counts as taken.
// The queue's name is not looked up first; the press has checked it, and a
// queue that went away since is answered "not found" by Create-Job. CUPS
// keeps the last error per thread, so each failure's reason is read at
// once, on the calling thread, and kept.
class CupsPrinter final : public SpoolerPrinter {
public:
  CupsPrinter(std::unique_ptr<CupsConnection> connection, std::string queue,
              const SpoolerLogin& login)
      : connection_(std::move(connection)),
        http_(connection_->Http()),
        queue_(std::move(queue)),
        resource_("/printers/" + queue_),
        login_(login) {
    httpAssembleURIf(HTTP_URI_CODING_ALL, uri_, sizeof(uri_), "ipp", nullptr, "localhost",
                     ippPort(), "/printers/%s", queue_.c_str());
  }

  bool StartDoc(const std::string& documentName) override {
    documentName_ = documentName;
    ipp_t* request = ippNewRequest(IPP_OP_CREATE_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri_);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                 documentName.c_str());
    ipp_t* response = cupsDoRequest(http_, request, resource_.c_str());
    const ipp_status_t status = response ? ippGetStatusCode(response) : cupsLastError();
    const int jobId = ippGetInteger(ippFindAttribute(response, "job-id", IPP_TAG_INTEGER), 0);
    ippDelete(response);
    if (!response) return Failed();
    if (status == IPP_STATUS_ERROR_NOT_FOUND) return Failed(Failure::UnknownPrinter);
    if (IsError(status)) return Failed(Failure::Refused);
    if (jobId <= 0) return Failed(Failure::Refused, "The scheduler gave the job no number.");
    jobId_ = jobId;
    return true;
  }

  // CUPS has no pages of its own: the one document is the one page.
  bool StartPage() override {
    const http_status_t status = cupsStartDocument(http_, queue_.c_str(), jobId_,
                                                   documentName_.c_str(), CUPS_FORMAT_RAW,
                                                   /*last_document=*/1);
    if (status != HTTP_STATUS_CONTINUE) return Failed();
    documentOpen_ = true;
    return true;
  }

  bool Write(std::string_view data, std::size_t& written) override {
    written = 0;
    if (cupsWriteRequestData(http_, data.data(), data.size()) != HTTP_STATUS_CONTINUE) {
      return Failed();
    }
    written = data.size();
    return true;
  }

  bool EndPage() override { return true; }

  // The job is taken only when the scheduler's answer to Send-Document
  // says so. No answer at all, a time-out or a broken connection included,
  // is a failure: the scheduler may hold the job half-taken.
  bool EndDoc() override {
    documentOpen_ = false;
    ipp_t* response = cupsGetResponse(http_, resource_.c_str());
    const ipp_status_t status = response ? ippGetStatusCode(response) : cupsLastError();
    ippDelete(response);
    if (!response) return Failed();
    if (IsError(status)) return Failed(Failure::Refused);
    taken_ = true;
    return true;
  }

  // The cancel goes over a connection of its own: the job's connection may
  // be busy with the open document, and ending the document first would let
  // the scheduler start printing the half job; or it may be the one that
  // just ran out of patience. Only then is an open document ended, for a
  // job that no longer prints.
  void Abort() override {
    if (jobId_ > 0 && !taken_) CancelOnOwnConnection();
    if (documentOpen_ && !connection_->LostServer()) {
      ippDelete(cupsGetResponse(http_, resource_.c_str()));
    }
    documentOpen_ = false;
  }

  int JobId() const override { return jobId_; }
  Failure LastFailure() const override { return lastFailure_; }
  std::string LastError() const override { return lastError_; }

private:
  // A stalled scheduler reads the cancel when it wakes, before it would
  // get round to printing; so the cancel is sent even when its answer
  // cannot be waited for. It carries the job connection's credentials, so
  // a server that wanted a password for the job does not ask again.
  void CancelOnOwnConnection() {
    Deadline patience(kCancelPatience);
    const SpoolerLogin noPrompt{login_.user, nullptr};
    CupsConnection connection(patience, noPrompt);
    if (!connection.Connected()) return;  // no scheduler, no job to print
    if (const char* auth = httpGetAuthString(http_); auth && *auth) {
      const std::string scheme(auth, std::strcspn(auth, " "));
      const char* data = auth + scheme.size();
      httpSetAuthString(connection.Http(), scheme.c_str(), *data ? data + 1 : nullptr);
    }
    ipp_t* request = ippNewRequest(IPP_OP_CANCEL_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri_);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId_);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    ippDelete(cupsDoRequest(connection.Http(), request, resource_.c_str()));
  }

  bool Failed() {
    return Failed(connection_->LostServer() ? Failure::LostServer : Failure::Refused);
  }
  bool Failed(Failure failure) { return Failed(failure, connection_->FailureReason()); }
  bool Failed(Failure failure, std::string reason) {
    lastFailure_ = failure;
    lastError_ = std::move(reason);
    return false;
  }

  std::unique_ptr<CupsConnection> connection_;
  http_t* http_;
  std::string queue_;
  std::string resource_;
  const SpoolerLogin& login_;
  char uri_[HTTP_MAX_URI];
  std::string documentName_;
  int jobId_ = 0;
  bool documentOpen_ = false;
  bool taken_ = false;
  Failure lastFailure_ = Failure::Refused;
  std::string lastError_;
};

}  // namespace

std::unique_ptr<SpoolerPrinter> CupsSpooler::Open(const std::string& deviceName,
                                                  Deadline& deadline, std::string& unreachable) {
  // CUPS names cannot hold '/', so the first one separates the instance,
  // which is the same queue to the scheduler.
  const std::string queue = deviceName.substr(0, deviceName.find('/'));
  auto connection = std::make_unique<CupsConnection>(deadline, login_);
  if (!connection->Connected()) {
    unreachable = connection->FailureReason();
    return nullptr;
  }
  return std::make_unique<CupsPrinter>(std::move(connection), queue, login_);
}

}  // namespace brisakett
