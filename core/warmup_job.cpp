#include "warmup_job.h"

#include "messages.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

JobResult Cancelled(SpoolerPrinter& printer, std::string reason) {
  printer.Abort();
  return {JobResult::Status::Failed, std::move(reason)};
}

JobResult Cancelled(SpoolerPrinter& printer) {
  return Cancelled(printer, printer.LastError());
}

}  // namespace

JobResult SubmitWarmUpJob(Spooler& spooler, const std::string& deviceName) {
  std::unique_ptr<SpoolerPrinter> printer = spooler.Open(deviceName);
  if (!printer) return {JobResult::Status::OpenFailed, {}};

  if (!printer->StartDoc(kWarmUpDocumentName)) return Cancelled(*printer);
  if (!printer->StartPage()) return Cancelled(*printer);

  std::size_t written = 0;
  if (!printer->Write(kWarmUpStream, written)) return Cancelled(*printer);
  if (written != kWarmUpStream.size()) {
    return Cancelled(*printer, "The spooler took only " + std::to_string(written) +
                                   " of " + std::to_string(kWarmUpStream.size()) +
                                   " bytes.");
  }

  if (!printer->EndPage()) return Cancelled(*printer);
  if (!printer->EndDoc()) return Cancelled(*printer);
  return {JobResult::Status::Accepted, {}, printer->JobId()};
}

WarmUpOutcome RunWarmUp(const PrinterCatalog& printers, CurrentPrinter& current,
                        Spooler& spooler, const std::string& chosenName) {
  const std::string savedName = current.DeviceName();

  if (!SelectPrinter(printers, current, chosenName)) {
    return {WarmUpOutcome::Status::NotRecognized, messages::kPrinterNotRecognized};
  }

  const JobResult job = SubmitWarmUpJob(spooler, current.DeviceName());
  if (job.status == JobResult::Status::OpenFailed) {
    return {WarmUpOutcome::Status::NotRecognized, messages::kPrinterNotRecognized};
  }

  SelectPrinter(printers, current, savedName);

  if (job.status == JobResult::Status::Failed) {
    return {WarmUpOutcome::Status::Failed,
            std::string(messages::kCommandFailed) + "\n" + job.reason};
  }
  return {WarmUpOutcome::Status::Sent, messages::kCommandExecuted};
}

}  // namespace brisakett
