#include "warmup_job.h"

#include "messages.h"
#include "warmup_stream.h"

namespace brisakett {
namespace {

JobResult Cancelled(SpoolerPrinter& printer, std::string reason) {
  const JobResult::Status status = printer.LastFailure() == SpoolerPrinter::Failure::LostServer
                                       ? JobResult::Status::Unreachable
                                       : JobResult::Status::Failed;
  printer.Abort();
  return {status, std::move(reason)};
}

JobResult Cancelled(SpoolerPrinter& printer) {
  return Cancelled(printer, printer.LastError());
}

WarmUpOutcome CommandFailed(WarmUpOutcome::Status status, const std::string& reason) {
  return {status, std::string(messages::kCommandFailed) + "\n" + reason};
}

}  // namespace

JobResult SubmitWarmUpJob(Spooler& spooler, const std::string& deviceName, Deadline& deadline) {
  std::string unreachable;
  std::unique_ptr<SpoolerPrinter> printer = spooler.Open(deviceName, deadline, unreachable);
  if (!printer) {
    if (!unreachable.empty()) return {JobResult::Status::Unreachable, unreachable};
    return {JobResult::Status::OpenFailed, {}};
  }

  if (!printer->StartDoc(kWarmUpDocumentName)) {
    // A spooler that learns only now that it has no such printer has
    // nothing queued to cancel.
    if (printer->LastFailure() == SpoolerPrinter::Failure::UnknownPrinter) {
      return {JobResult::Status::OpenFailed, {}};
    }
    return Cancelled(*printer);
  }
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
                        Spooler& spooler, const std::string& chosenName, Deadline deadline) {
  const CurrentPrinter before = current;
  const std::string savedName = current.DeviceName();

  std::string unreachable;
  if (!SelectPrinter(printers, current, chosenName, deadline, &unreachable)) {
    if (!unreachable.empty()) return CommandFailed(WarmUpOutcome::Status::Unreachable, unreachable);
    return {WarmUpOutcome::Status::NotRecognized, messages::kPrinterNotRecognized};
  }

  // Whether the saved printer is still installed is asked before the job,
  // so that the job is the press's last request: a server that stalls
  // after it has the whole job leaves nothing unknown but the job itself.
  // With the chosen printer the saved one, there is nothing to ask.
  CurrentPrinter afterwards = current;
  if (before.HasPrinter() && savedName != chosenName &&
      !SelectPrinter(printers, afterwards, savedName, deadline, &unreachable) &&
      !unreachable.empty()) {
    current = before;
    return CommandFailed(WarmUpOutcome::Status::Unreachable, unreachable);
  }

  const JobResult job = SubmitWarmUpJob(spooler, current.DeviceName(), deadline);
  switch (job.status) {
    case JobResult::Status::OpenFailed:
      return {WarmUpOutcome::Status::NotRecognized, messages::kPrinterNotRecognized};
    case JobResult::Status::Unreachable:
      current = afterwards;
      return CommandFailed(WarmUpOutcome::Status::Unreachable, job.reason);
    case JobResult::Status::Failed:
      current = afterwards;
      return CommandFailed(WarmUpOutcome::Status::Failed, job.reason);
    case JobResult::Status::Accepted:
      break;
  }
  current = afterwards;
  return {WarmUpOutcome::Status::Sent, messages::kCommandExecuted, job.jobId};
}

}  // namespace brisakett
