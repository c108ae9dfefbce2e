#include "cups/cups_spooler.h"

#include <cups/cups.h>

#include <cstring>

#include "cups/cups_connection.h"
#include "cups/cups_dest_name.h"

namespace brisakett {
namespace {

// One queue, spoken to as `lp` does: Create-Job, then Send-Document with
// the data, each answer read and checked before the job counts as taken.
// The queue's name is not looked up first; the press has checked it, and a
// queue that went away since is answered "not found" by Create-Job. The
// data wait in memory until the document is sent whole with EndDoc, so
// that the scheduler never holds a document that was cut off.
class CupsPrinter final : public SpoolerPrinter {
public:
  CupsPrinter(std::unique_ptr<CupsConnection> connection, const std::string& queue,
              const SpoolerLogin& login)
      : connection_(std::move(connection)),
        resource_("/printers/" + queue),
        uri_(CupsQueueUri(queue)),
        login_(login) {}

  bool StartDoc(const std::string& documentName) override {
    documentName_ = documentName;
    document_.clear();
    jobId_ = 0;
    taken_ = false;
    ipp_t* request = NewRequest(IPP_OP_CREATE_JOB);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
                 documentName.c_str());
    ipp_t* response = connection_->ExchangeWhenHeard(request, resource_.c_str());
    if (!response) return Failed(connection_->Failure());
    const bool unknownPrinter = ippGetStatusCode(response) == IPP_STATUS_ERROR_NOT_FOUND;
    const int jobId = ippGetInteger(ippFindAttribute(response, "job-id", IPP_TAG_INTEGER), 0);
    const ServerAnswer verdict = CupsConnection::Verdict(response);
    ippDelete(response);
    if (!verdict.Answered()) return Failed({verdict, unknownPrinter});
    if (jobId <= 0) {
      return Failed(ServerAnswer{ServerVerdict::Refused, "The scheduler gave the job no number."});
    }
    jobId_ = jobId;
    return true;
  }

  // CUPS has no pages of its own: the one document is the one page.
  bool StartPage() override { return true; }

  bool Write(std::string_view data, std::size_t& written) override {
    document_.append(data);
    written = data.size();
    return true;
  }

  bool EndPage() override { return true; }

  // The job is taken only when the scheduler's answer to Send-Document
  // says so. No answer at all, a time-out or a broken connection included,
  // is a failure: the scheduler may hold the job half-taken.
  bool EndDoc() override {
    ipp_t* request = NewRequest(IPP_OP_SEND_DOCUMENT);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId_);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr,
                 documentName_.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
                 CUPS_FORMAT_RAW);
    ippAddBoolean(request, IPP_TAG_OPERATION, "last-document", 1);
    ipp_t* response = connection_->ExchangeWhenHeard(request, resource_.c_str(), document_);
    if (!response) return Failed(connection_->Failure());
    const ServerAnswer verdict = CupsConnection::Verdict(response);
    ippDelete(response);
    if (!verdict.Answered()) return Failed(verdict);
    taken_ = true;
    return true;
  }

  // The cancel goes over a connection of its own: the job's connection may
  // be the one that just ran out of patience.
  void Abort() override {
    if (jobId_ > 0 && !taken_) CancelOnOwnConnection();
  }

  int JobId() const override { return jobId_; }
  SpoolerFailure LastFailure() const override { return lastFailure_; }

private:
  // A stalled scheduler reads the cancel when it wakes, before it would
  // get round to printing; so the cancel is sent even when its answer
  // cannot be waited for. It carries the job connection's credentials, so
  // a server that wanted a password for the job does not ask again.
  void CancelOnOwnConnection() {
    Deadline patience(kCancelPatience);
    const SpoolerLogin noPrompt{login_.user, nullptr, login_.server};
    CupsConnection connection(patience, noPrompt);
    if (!connection.Connected()) return;  // no scheduler, no job to print
    if (const char* auth = httpGetAuthString(connection_->Http()); auth && *auth) {
      const std::string scheme(auth, std::strcspn(auth, " "));
      const char* data = auth + scheme.size();
      httpSetAuthString(connection.Http(), scheme.c_str(), *data ? data + 1 : nullptr);
    }
    ipp_t* request = NewRequest(IPP_OP_CANCEL_JOB);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId_);
    ippDelete(connection.Exchange(request, resource_.c_str()));
  }

  ipp_t* NewRequest(ipp_op_t operation) const {
    ipp_t* request = ippNewRequest(operation);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri_.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
                 cupsUser());
    return request;
  }

  bool Failed(SpoolerFailure failure) {
    lastFailure_ = std::move(failure);
    return false;
  }

  std::unique_ptr<CupsConnection> connection_;
  std::string resource_;
  std::string uri_;
  const SpoolerLogin& login_;
  std::string documentName_;
  std::string document_;
  int jobId_ = 0;
  bool taken_ = false;
  SpoolerFailure lastFailure_;
};

}  // namespace

std::unique_ptr<SpoolerPrinter> CupsSpooler::Open(const std::string& deviceName,
                                                  Deadline& deadline, SpoolerFailure& failure) {
  const std::string queue = CupsQueueOf(deviceName);
  auto connection = std::make_unique<CupsConnection>(deadline, login_);
  if (!connection->Connected()) {
    failure = connection->Failure();
    return nullptr;
  }
  return std::make_unique<CupsPrinter>(std::move(connection), queue, login_);
}

}  // namespace brisakett
