#include "cups/cups_job_watcher.h"

#include <cups/cups.h>

#include <initializer_list>

#include "cups/cups_connection.h"
#include "cups/cups_dest_name.h"

namespace brisakett {
namespace {

std::string JobUri(int jobId) { return "ipp://localhost/jobs/" + std::to_string(jobId); }

// Sends one request about `uri` (a job-uri or printer-uri) and returns the
// response, or null when the scheduler gave none or refused; cupsLastError()
// then says why.
ipp_t* Ask(CupsConnection& scheduler, ipp_op_t operation, const char* uriName,
           const std::string& uri, std::initializer_list<const char*> wanted = {}) {
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, uriName, nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  if (wanted.size() > 0) {
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(wanted.size()), nullptr, wanted.begin());
  }
  ipp_t* response = cupsDoRequest(scheduler.Http(), request, "/");
  if (response && cupsLastError() <= IPP_STATUS_OK_CONFLICTING) return response;
  ippDelete(response);
  return nullptr;
}

std::string LastCupsError() {
  const char* text = cupsLastErrorString();
  return text && *text ? text : ippErrorString(cupsLastError());
}

int Enum(ipp_t* response, const char* name) {
  return ippGetInteger(ippFindAttribute(response, name, IPP_TAG_ENUM), 0);
}

std::string Text(ipp_t* response, const char* name) {
  const char* text = ippGetString(ippFindAttribute(response, name, IPP_TAG_ZERO), 0, nullptr);
  return text ? text : "";
}

// Every keyword of the attribute but "none", joined by ", ".
std::string Keywords(ipp_t* response, const char* name) {
  ipp_attribute_t* attribute = ippFindAttribute(response, name, IPP_TAG_KEYWORD);
  std::string joined;
  for (int i = 0; i < ippGetCount(attribute); ++i) {
    const std::string keyword = ippGetString(attribute, i, nullptr);
    if (keyword == "none") continue;
    if (!joined.empty()) joined += ", ";
    joined += keyword;
  }
  return joined;
}

// "what: message (reasons)", leaving out what is empty.
std::string Said(const std::string& what, const std::string& message, const std::string& reasons) {
  std::string text = what;
  if (!message.empty()) text += (text.empty() ? "" : ": ") + message;
  if (!reasons.empty()) text += (text.empty() ? "" : " ") + ("(" + reasons + ")");
  return text;
}

bool Unreachable(const std::string& printerReasons) {
  for (const char* sign : {"connecting-to-device", "offline", "timed-out"}) {
    if (printerReasons.find(sign) != std::string::npos) return true;
  }
  return false;
}

// Why a job that is neither held nor finished has not printed yet, in the
// words of the scheduler's printer attributes.
JobLook WhyWaiting(CupsConnection& scheduler, const std::string& deviceName, int jobState,
                   const std::string& jobPrinterMessage, const std::string& jobReasons) {
  ipp_t* printer = Ask(scheduler, IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri",
                       CupsQueueUri(CupsQueueOf(deviceName)),
                       {"printer-state", "printer-state-reasons", "printer-state-message"});
  if (!printer) {
    return {JobLook::State::Waiting, "the scheduler did not report the printer: " + LastCupsError()};
  }
  const int printerState = Enum(printer, "printer-state");
  const std::string reasons = Keywords(printer, "printer-state-reasons");
  std::string message = jobPrinterMessage.empty() ? Text(printer, "printer-state-message")
                                                  : jobPrinterMessage;
  ippDelete(printer);

  if (printerState == IPP_PSTATE_STOPPED || jobState == IPP_JSTATE_STOPPED) {
    return {JobLook::State::Waiting, Said("queue stopped", message, reasons)};
  }
  if (Unreachable(reasons)) {
    return {JobLook::State::Waiting, Said("printer not reachable", message, reasons)};
  }
  if (jobState == IPP_JSTATE_PROCESSING) {
    return {JobLook::State::Waiting, Said("sending to the printer", message, reasons)};
  }
  return {JobLook::State::Waiting, Said("queued", {}, jobReasons)};
}

}  // namespace

JobLook CupsJobWatcher::Look(const std::string& deviceName, int jobId) const {
  Deadline deadline(kServerPatience);
  CupsConnection scheduler(deadline, login_);
  if (!scheduler.Connected()) {
    return {JobLook::State::Waiting, "the print server cannot be reached"};
  }
  ipp_t* job = Ask(scheduler, IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", JobUri(jobId),
                   {"job-state", "job-state-reasons", "job-printer-state-message"});
  if (!job) {
    // The scheduler keeps finished jobs for a while; one it has forgotten
    // can no longer be told apart from one that was removed.
    if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND) {
      return {JobLook::State::Canceled, "the scheduler no longer knows the job"};
    }
    return {JobLook::State::Waiting, "the scheduler did not report the job: " + LastCupsError()};
  }
  const int state = Enum(job, "job-state");
  const std::string reasons = Keywords(job, "job-state-reasons");
  const std::string printerMessage = Text(job, "job-printer-state-message");
  ippDelete(job);

  switch (state) {
    case IPP_JSTATE_COMPLETED:
      return {JobLook::State::Completed, {}};
    case IPP_JSTATE_ABORTED:
      return {JobLook::State::Aborted, Said("aborted", printerMessage, reasons)};
    case IPP_JSTATE_CANCELED:
      return {JobLook::State::Canceled, Said("canceled", printerMessage, reasons)};
    case IPP_JSTATE_HELD:
      return {JobLook::State::Waiting, Said("job held", {}, reasons)};
    default:
      return WhyWaiting(scheduler, deviceName, state, printerMessage, reasons);
  }
}

bool CupsJobWatcher::Cancel(const std::string&, int jobId, std::string& why) const {
  Deadline deadline(kServerPatience);
  CupsConnection scheduler(deadline, login_);
  if (!scheduler.Connected()) {
    why = "the print server cannot be reached";
    return false;
  }
  ipp_t* response = Ask(scheduler, IPP_OP_CANCEL_JOB, "job-uri", JobUri(jobId));
  if (!response) {
    why = LastCupsError();
    return false;
  }
  ippDelete(response);
  return true;
}

}  // namespace brisakett
