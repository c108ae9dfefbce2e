#include "warmup_job.h"

#include "messages.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

JobResult Cancelled(SpoolerPrinter& printer, SpoolerFailure failure) {
  printer.Abort();
  return {false, std::move(failure)};
}

JobResult Cancelled(SpoolerPrinter& printer) { return Cancelled(printer, printer.LastFailure()); }

WarmUpOutcome CommandFailed(const ServerAnswer& failure) {
  return {failure.ServerLost() ? WarmUpOutcome::Status::Unreachable : WarmUpOutcome::Status::Failed,
          std::string(messages::kCommandFailed) + "\n" + failure.reason};
}

}  // namespace

JobResult SubmitWarmUpJob(Spooler& spooler, const std::string& deviceName, Deadline& deadline) {
  SpoolerFailure openFailure;
  std::unique_ptr<SpoolerPrinter> printer = spooler.Open(deviceName, deadline, openFailure);
  if (!printer) return {false, std::move(openFailure)};

  if (!printer->StartDoc(kWarmUpDocumentName)) {
    // A spooler that learns only now that it has no such printer has
    // nothing queued to cancel.
    if (printer->LastFailure().unknownPrinter) return {false, printer->LastFailure()};
    return Cancelled(*printer);
  }
  if (!printer->StartPage()) return Cancelled(*printer);

  std::size_t written = 0;
  if (!printer->Write(kWarmUpStream, written)) return Cancelled(*printer);
  if (written != kWarmUpStream.size()) {
    return Cancelled(*printer, ServerAnswer{ServerVerdict::Refused,
                                            "The spooler took only " + std::to_string(written) +
                                                " of " + std::to_string(kWarmUpStream.size()) +
                                                " bytes."});
  }

  if (!printer->EndPage()) return Cancelled(*printer);
  if (!printer->EndDoc()) return Cancelled(*printer);
  return {true, {}, printer->JobId()};
}

WarmUpOutcome RunWarmUp(const PrinterCatalog& printers, CurrentPrinter& current,
                        Spooler& spooler, const std::string& chosenName, Deadline deadline) {
  const std::string savedName = current.DeviceName();
  const bool returnAfterwards = current.HasPrinter() && savedName != chosenName;

  ServerAnswer asked;
  if (!SelectPrinter(printers, current, chosenName, deadline, &asked)) {
    if (!asked.Answered()) return CommandFailed(asked);
    return {WarmUpOutcome::Status::NotRecognized, messages::kPrinterNotRecognized};
  }

  const JobResult job = SubmitWarmUpJob(spooler, current.DeviceName(), deadline);
  if (!job.accepted && job.failure.unknownPrinter) {
    return {WarmUpOutcome::Status::NotRecognized, messages::kPrinterNotRecognized};
  }
  // Only a spooler that answers that the saved printer is gone keeps the
  // chosen one current; one that cannot say leaves the saved one, which was
  // installed a moment ago.
  ServerAnswer savedAsked;
  if (returnAfterwards && !SelectPrinter(printers, current, savedName, deadline, &savedAsked) &&
      !savedAsked.Answered()) {
    current = CurrentPrinter(savedName);
  }
  if (!job.accepted) return CommandFailed(job.failure);
  return {WarmUpOutcome::Status::Sent, messages::kCommandExecuted, job.jobId};
}

}  // namespace brisakett
