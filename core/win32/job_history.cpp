#include "win32/job_history.h"

#include <windows.h>
#include <winspool.h>

namespace brisakett {
namespace {

std::string Said(const std::string& what, const std::string& message) {
  return message.empty() ? what : what + ": " + message;
}

constexpr DWORD kPrinterUnreachable =
    PRINTER_STATUS_OFFLINE | PRINTER_STATUS_NOT_AVAILABLE | PRINTER_STATUS_SERVER_UNKNOWN;
// The printer is there but wants a hand: an error it reports, paper, toner,
// a door. Not "not reachable": the user has something to do at the printer.
constexpr DWORD kPrinterNeedsAttention =
    PRINTER_STATUS_ERROR | PRINTER_STATUS_PAPER_JAM | PRINTER_STATUS_PAPER_OUT |
    PRINTER_STATUS_PAPER_PROBLEM | PRINTER_STATUS_OUTPUT_BIN_FULL | PRINTER_STATUS_NO_TONER |
    PRINTER_STATUS_DOOR_OPEN | PRINTER_STATUS_USER_INTERVENTION;
constexpr DWORD kJobNeedsAttention =
    JOB_STATUS_ERROR | JOB_STATUS_PAPEROUT | JOB_STATUS_USER_INTERVENTION;

JobLook StateOf(const JobReading& reading) {
  const DWORD status = reading.status;
  const std::string& text = reading.statusText;
  if (status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) return {JobLook::State::Completed, {}};
  if (status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) {
    return {JobLook::State::Canceled, Said("deleted", text)};
  }
  // Blocked stays queued: the job prints once what blocks it is cleared.
  if (status & JOB_STATUS_BLOCKED_DEVQ) {
    return {JobLook::State::Waiting,
            Said("job blocked: the printer's driver cannot print it", text)};
  }
  if (status & JOB_STATUS_PAUSED) return {JobLook::State::Waiting, Said("job held", text)};
  if (reading.printerStatus & PRINTER_STATUS_PAUSED) {
    return {JobLook::State::Waiting, Said("queue stopped", text)};
  }
  if ((status & JOB_STATUS_OFFLINE) || (reading.printerStatus & kPrinterUnreachable)) {
    return {JobLook::State::Waiting, Said("printer not reachable", text)};
  }
  if ((status & kJobNeedsAttention) || (reading.printerStatus & kPrinterNeedsAttention)) {
    return {JobLook::State::Waiting, Said("printer needs attention", text)};
  }
  if (status & JOB_STATUS_PRINTING) {
    return {JobLook::State::Waiting, Said("sending to the printer", text)};
  }
  return {JobLook::State::Waiting, Said("queued", text)};
}

// Printing is not enough: a job deleted while printing, by a user or by a
// spooler giving up on a printer, goes just the same.
bool SaysPrinted(DWORD status) {
  return (status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) != 0;
}

}  // namespace

JobLook JobHistory::Take(const JobReading& reading) {
  if (!reading.known) {
    if (printed_) return {JobLook::State::Completed, {}};
    return {JobLook::State::Vanished,
            "the spooler no longer knows the job and did not say how it ended"};
  }
  return StateOf(reading);
}

void JobHistory::Hear(unsigned long status) { printed_ = printed_ || SaysPrinted(status); }

bool HearJobStatuses(const PRINTER_NOTIFY_INFO& info, std::map<int, JobHistory>& histories) {
  for (DWORD i = 0; i < info.Count; ++i) {
    const PRINTER_NOTIFY_INFO_DATA& data = info.aData[i];
    if (data.Type != JOB_NOTIFY_TYPE || data.Field != JOB_NOTIFY_FIELD_STATUS) continue;
    histories[static_cast<int>(data.Id)].Hear(data.NotifyData.adwData[0]);
  }
  return (info.Flags & PRINTER_NOTIFY_INFO_DISCARDED) != 0;
}

}  // namespace brisakett
