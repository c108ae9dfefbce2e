#include "cups/cups_spooler.h"

#include <cups/cups.h>

#include "cups/cups_connection.h"

namespace brisakett {
namespace {

// CUPS's words for the last failure. When the connection itself broke,
// CUPS may have no text of its own; then the status names the failure.
std::string CupsReason(const char* statusText) {
  const char* text = cupsLastErrorString();
  if (text && *text) return text;
  text = ippErrorString(cupsLastError());
  if (cupsLastError() != IPP_STATUS_OK && text && *text) return text;
  return statusText;
}

// One open destination. CUPS keeps the last error per thread, so each
// failure's reason is read at once, on the calling thread, and kept.
class CupsPrinter final : public SpoolerPrinter {
public:
  CupsPrinter(std::unique_ptr<CupsConnection> connection, cups_dest_t* dest, cups_dinfo_t* info)
      : connection_(std::move(connection)), http_(connection_->Http()), dest_(dest), info_(info) {}

  ~CupsPrinter() override {
    cupsFreeDestInfo(info_);
    cupsFreeDests(1, dest_);
  }

  bool StartDoc(const std::string& documentName) override {
    documentName_ = documentName;
    connection_->RenewPatience();
    int jobId = 0;
    const ipp_status_t status = cupsCreateDestJob(
        http_, dest_, info_, &jobId, documentName.c_str(), 0, nullptr);
    if (status > IPP_STATUS_OK_CONFLICTING) return Failed(ippErrorString(status));
    if (jobId <= 0) return Failed("The scheduler gave the job no number.");
    jobId_ = jobId;
    createdJobId_ = jobId;
    return true;
  }

  // CUPS has no pages of its own: the one document is the one page.
  bool StartPage() override {
    connection_->RenewPatience();
    const http_status_t status = cupsStartDestDocument(
        http_, dest_, info_, jobId_, documentName_.c_str(),
        CUPS_FORMAT_RAW, 0, nullptr, /*last_document=*/1);
    if (status != HTTP_STATUS_CONTINUE) return Failed(httpStatus(status));
    documentOpen_ = true;
    return true;
  }

  bool Write(std::string_view data, std::size_t& written) override {
    written = 0;
    const http_status_t status =
        cupsWriteRequestData(http_, data.data(), data.size());
    if (status != HTTP_STATUS_CONTINUE) return Failed(httpStatus(status));
    written = data.size();
    return true;
  }

  bool EndPage() override { return true; }

  bool EndDoc() override {
    documentOpen_ = false;
    connection_->RenewPatience();
    const ipp_status_t status = cupsFinishDestDocument(http_, dest_, info_);
    if (status > IPP_STATUS_OK_CONFLICTING) return Failed(ippErrorString(status));
    jobId_ = 0;
    return true;
  }

  // The cancel goes over a connection of its own: the job's connection may
  // be busy with the open document, and ending the document first would let
  // the scheduler start printing the half job; or it may be the one that
  // just ran out of patience. Only then is an open document ended, for a
  // job that no longer prints.
  void Abort() override {
    if (jobId_ > 0) CancelOnOwnConnection();
    if (documentOpen_) {
      cupsFinishDestDocument(http_, dest_, info_);
      documentOpen_ = false;
    }
    jobId_ = 0;
  }

  std::string LastError() const override { return lastError_; }
  int JobId() const override { return createdJobId_; }

private:
  void CancelOnOwnConnection() {
    const CupsConnection connection;
    if (!connection.Connected()) return;  // no scheduler, no job to print
    cupsCancelDestJob(connection.Http(), dest_, jobId_);
  }

  bool Failed(const char* statusText) {
    lastError_ = CupsReason(statusText);
    return false;
  }

  std::unique_ptr<CupsConnection> connection_;
  http_t* http_;
  cups_dest_t* dest_;
  cups_dinfo_t* info_;
  std::string documentName_;
  int jobId_ = 0;  // the job Abort cancels; 0 once it is complete
  int createdJobId_ = 0;
  bool documentOpen_ = false;
  std::string lastError_;
};

}  // namespace

std::unique_ptr<SpoolerPrinter> CupsSpooler::Open(const std::string& deviceName) {
  // CUPS names cannot hold '/', so the first one separates the instance.
  const std::size_t slash = deviceName.find('/');
  const std::string queue = deviceName.substr(0, slash);
  const std::string instance =
      slash == std::string::npos ? std::string() : deviceName.substr(slash + 1);

  auto connection = std::make_unique<CupsConnection>();
  if (!connection->Connected()) return nullptr;
  cups_dest_t* dest = cupsGetNamedDest(connection->Http(), queue.c_str(),
                                       instance.empty() ? nullptr : instance.c_str());
  if (!dest) return nullptr;
  cups_dinfo_t* info = cupsCopyDestInfo(connection->Http(), dest);
  if (!info) {
    cupsFreeDests(1, dest);
    return nullptr;
  }
  return std::make_unique<CupsPrinter>(std::move(connection), dest, info);
}

}  // namespace brisakett
