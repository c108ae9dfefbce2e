#include "cups/cups_spooler.h"

#include <cups/cups.h>

namespace brisakett {
namespace {

constexpr int kConnectTimeoutMs = 5000;

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
  CupsPrinter(cups_dest_t* dest, cups_dinfo_t* info) : dest_(dest), info_(info) {}

  ~CupsPrinter() override {
    cupsFreeDestInfo(info_);
    cupsFreeDests(1, dest_);
  }

  bool StartDoc(const std::string& documentName) override {
    documentName_ = documentName;
    int jobId = 0;
    const ipp_status_t status = cupsCreateDestJob(
        CUPS_HTTP_DEFAULT, dest_, info_, &jobId, documentName.c_str(), 0, nullptr);
    if (status > IPP_STATUS_OK_CONFLICTING) return Failed(ippErrorString(status));
    if (jobId <= 0) return Failed("The scheduler gave the job no number.");
    jobId_ = jobId;
    return true;
  }

  // CUPS has no pages of its own: the one document is the one page.
  bool StartPage() override {
    const http_status_t status = cupsStartDestDocument(
        CUPS_HTTP_DEFAULT, dest_, info_, jobId_, documentName_.c_str(),
        CUPS_FORMAT_RAW, 0, nullptr, /*last_document=*/1);
    if (status != HTTP_STATUS_CONTINUE) return Failed(httpStatus(status));
    documentOpen_ = true;
    return true;
  }

  bool Write(std::string_view data, std::size_t& written) override {
    written = 0;
    const http_status_t status =
        cupsWriteRequestData(CUPS_HTTP_DEFAULT, data.data(), data.size());
    if (status != HTTP_STATUS_CONTINUE) return Failed(httpStatus(status));
    written = data.size();
    return true;
  }

  bool EndPage() override { return true; }

  bool EndDoc() override {
    documentOpen_ = false;
    const ipp_status_t status = cupsFinishDestDocument(CUPS_HTTP_DEFAULT, dest_, info_);
    if (status > IPP_STATUS_OK_CONFLICTING) return Failed(ippErrorString(status));
    jobId_ = 0;
    return true;
  }

  void Abort() override {
    if (documentOpen_) {
      // The default connection is busy with the open document, and ending
      // the document first would let the scheduler start printing the half
      // job. So the cancel goes over a connection of its own, and only then
      // is the document ended, for a job that no longer prints.
      if (jobId_ > 0) CancelOnOwnConnection();
      cupsFinishDestDocument(CUPS_HTTP_DEFAULT, dest_, info_);
      documentOpen_ = false;
    } else if (jobId_ > 0) {
      cupsCancelDestJob(CUPS_HTTP_DEFAULT, dest_, jobId_);
    }
    jobId_ = 0;
  }

  std::string LastError() const override { return lastError_; }

private:
  void CancelOnOwnConnection() {
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(),
                                /*blocking=*/1, kConnectTimeoutMs, nullptr);
    if (!http) return;  // no scheduler, no job to print
    cupsCancelDestJob(http, dest_, jobId_);
    httpClose(http);
  }

  bool Failed(const char* statusText) {
    lastError_ = CupsReason(statusText);
    return false;
  }

  cups_dest_t* dest_;
  cups_dinfo_t* info_;
  std::string documentName_;
  int jobId_ = 0;
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

  cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.c_str(),
                                       instance.empty() ? nullptr : instance.c_str());
  if (!dest) return nullptr;
  cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest);
  if (!info) {
    cupsFreeDests(1, dest);
    return nullptr;
  }
  return std::make_unique<CupsPrinter>(dest, info);
}

}  // namespace brisakett
