#include "cups/cups_job_watcher.h"

#include <cups/cups.h>

#include <initializer_list>
#include <map>

#include "cups/cups_connection.h"
#include "cups/cups_dest_name.h"

namespace brisakett {
namespace {

constexpr const char* kServerUri = "ipp://localhost/";

std::string JobUri(int jobId) { return "ipp://localhost/jobs/" + std::to_string(jobId); }

ipp_t* NewRequest(ipp_op_t operation, const char* uriName, const std::string& uri,
                  std::initializer_list<const char*> wanted = {}) {
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, uriName, nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  if (wanted.size() > 0) {
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(wanted.size()), nullptr, wanted.begin());
  }
  return request;
}

// Sends the request; the answer, or the scheduler's verdict on it.
SpoolerAnswer<ipp_t*> Ask(CupsConnection& scheduler, ipp_t* request) {
  ipp_t* response = scheduler.Exchange(request, "/");
  if (!response) return {scheduler.Failure(), nullptr};
  ServerAnswer verdict = CupsConnection::Verdict(response);
  if (!verdict.Answered() && ippGetStatusCode(response) != IPP_STATUS_ERROR_NOT_FOUND) {
    ippDelete(response);
    return {std::move(verdict), nullptr};
  }
  return response;
}

int Enum(ipp_t* response, const char* name) {
  return ippGetInteger(ippFindAttribute(response, name, IPP_TAG_ENUM), 0);
}

std::string Text(ipp_t* response, const char* name) {
  const char* text = ippGetString(ippFindAttribute(response, name, IPP_TAG_ZERO), 0, nullptr);
  return text ? text : "";
}

// Every keyword of the attribute but "none", joined by ", ".
std::string Keywords(ipp_attribute_t* attribute) {
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

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// A job that ended, as its state, reasons and the printer's last message
// say. CUPS completes a job whose document the printer refused ("Unable to
// add document to print job."), with an error among its reasons: that job
// never reached the printer. No pages is no failure: the warm-up prints
// none by design.
JobLook Ended(int state, const std::string& reasons, const std::string& message) {
  switch (state) {
    case IPP_JSTATE_COMPLETED:
      if (Contains(reasons, "-error") || Contains(reasons, "completed-with-errors") ||
          Contains(message, "Unable to add document")) {
        return {JobLook::State::Aborted, Said("the printer refused the job", message, reasons)};
      }
      return {JobLook::State::Completed, {}};
    case IPP_JSTATE_ABORTED:
      return {JobLook::State::Aborted, Said("aborted", message, reasons)};
    default:
      return {JobLook::State::Canceled, Said("canceled", message, reasons)};
  }
}

bool Unreachable(const std::string& printerReasons) {
  for (const char* sign : {"connecting-to-device", "offline", "timed-out"}) {
    if (Contains(printerReasons, sign)) return true;
  }
  return false;
}

class CupsJobFollower final : public JobFollower {
public:
  CupsJobFollower(const SpoolerLogin& login, int subscriptionId)
      : login_(login), subscriptionId_(subscriptionId) {}

  // The subscription would lapse by itself at the end of its lease; it is
  // cancelled now so as not to hold one of the server's few.
  ~CupsJobFollower() override {
    if (subscriptionId_ == 0) return;
    Deadline patience(kCancelPatience);
    const SpoolerLogin noPrompt{login_.user, nullptr};
    CupsConnection scheduler(patience, noPrompt);
    if (!scheduler.Connected()) return;
    ipp_t* request = NewRequest(IPP_OP_CANCEL_SUBSCRIPTION, "printer-uri", kServerUri);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-id",
                  subscriptionId_);
    ippDelete(scheduler.Exchange(request, "/"));
  }

  std::vector<SpoolerAnswer<JobLook>> Look(const std::vector<WatchedJob>& jobs,
                                           Deadline& deadline) override {
    CupsConnection scheduler(deadline, login_);
    std::vector<SpoolerAnswer<JobLook>> looks;
    looks.reserve(jobs.size());
    if (!scheduler.Connected()) {
      looks.assign(jobs.size(), SpoolerAnswer<JobLook>(scheduler.Failure()));
      return looks;
    }
    ServerAnswer events = ReadEvents(scheduler);
    for (const WatchedJob& job : jobs) {
      looks.push_back(events.ServerLost() ? SpoolerAnswer<JobLook>(events)
                                          : LookAt(scheduler, job, events));
      if (looks.back().ServerLost()) events = looks.back();
    }
    return looks;
  }

  ServerAnswer Cancel(const WatchedJob& job, Deadline& deadline) override {
    CupsConnection scheduler(deadline, login_);
    if (!scheduler.Connected()) return scheduler.Failure();
    const SpoolerAnswer<ipp_t*> answer =
        Ask(scheduler, NewRequest(IPP_OP_CANCEL_JOB, "job-uri", JobUri(job.jobId)));
    if (!answer.Answered()) return answer;
    ServerAnswer verdict = CupsConnection::Verdict(answer.value);
    ippDelete(answer.value);
    return verdict;
  }

private:
  SpoolerAnswer<JobLook> LookAt(CupsConnection& scheduler, const WatchedJob& job,
                                ServerAnswer& events) {
    // The job's own attributes first: a completion event says "successfully"
    // even for a job whose document the printer refused, which only the
    // job's printer message tells.
    const SpoolerAnswer<ipp_t*> answer =
        Ask(scheduler, NewRequest(IPP_OP_GET_JOB_ATTRIBUTES, "job-uri", JobUri(job.jobId),
                                  {"job-state", "job-state-reasons", "job-printer-state-message"}));
    if (!answer.Answered()) return answer;
    ipp_t* attributes = answer.value;
    if (ippGetStatusCode(attributes) == IPP_STATUS_ERROR_NOT_FOUND) {
      ippDelete(attributes);
      // Forgotten by a scheduler that keeps no history: the events say how
      // it ended, perhaps only since they were last read.
      if (events.Answered() && !ended_.count(job.jobId)) events = ReadEvents(scheduler);
      if (const auto ended = ended_.find(job.jobId); ended != ended_.end()) return ended->second;
      if (events.ServerLost()) return events;
      return JobLook{JobLook::State::Vanished,
                     "the scheduler no longer knows the job and did not say how it ended"};
    }
    const int state = Enum(attributes, "job-state");
    const std::string reasons =
        Keywords(ippFindAttribute(attributes, "job-state-reasons", IPP_TAG_KEYWORD));
    const std::string printerMessage = Text(attributes, "job-printer-state-message");
    ippDelete(attributes);
    if (state >= IPP_JSTATE_CANCELED) return Ended(state, reasons, printerMessage);
    if (state == IPP_JSTATE_HELD) return JobLook{JobLook::State::Waiting, Said("job held", {}, reasons)};
    return WhyWaiting(scheduler, job.deviceName, state, printerMessage, reasons);
  }

  // Why a job that is neither held nor finished has not printed yet, in the
  // words of the scheduler's printer attributes.
  SpoolerAnswer<JobLook> WhyWaiting(CupsConnection& scheduler, const std::string& deviceName,
                                    int jobState, const std::string& jobPrinterMessage,
                                    const std::string& jobReasons) {
    const SpoolerAnswer<ipp_t*> answer = Ask(
        scheduler, NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, "printer-uri",
                              CupsQueueUri(CupsQueueOf(deviceName)),
                              {"printer-state", "printer-state-reasons", "printer-state-message"}));
    if (!answer.Answered()) return answer;
    ipp_t* printer = answer.value;
    const int printerState = Enum(printer, "printer-state");
    const std::string reasons =
        Keywords(ippFindAttribute(printer, "printer-state-reasons", IPP_TAG_KEYWORD));
    const std::string message = jobPrinterMessage.empty() ? Text(printer, "printer-state-message")
                                                          : jobPrinterMessage;
    ippDelete(printer);

    if (printerState == IPP_PSTATE_STOPPED || jobState == IPP_JSTATE_STOPPED) {
      return JobLook{JobLook::State::Waiting, Said("queue stopped", message, reasons)};
    }
    if (Unreachable(reasons)) {
      return JobLook{JobLook::State::Waiting, Said("printer not reachable", message, reasons)};
    }
    if (jobState == IPP_JSTATE_PROCESSING) {
      return JobLook{JobLook::State::Waiting, Said("sending to the printer", message, reasons)};
    }
    return JobLook{JobLook::State::Waiting, Said("queued", {}, jobReasons)};
  }

  // Reads the subscription's events since the last read, and keeps how each
  // job that ended ended.
  ServerAnswer ReadEvents(CupsConnection& scheduler) {
    if (subscriptionId_ == 0) return {};
    ipp_t* request = NewRequest(IPP_OP_GET_NOTIFICATIONS, "printer-uri", kServerUri);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-subscription-ids",
                  subscriptionId_);
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers",
                  nextSequence_);
    ippAddBoolean(request, IPP_TAG_OPERATION, "notify-wait", 0);
    const SpoolerAnswer<ipp_t*> answer = Ask(scheduler, request);
    if (!answer.Answered()) return answer;
    ipp_t* response = answer.value;
    // Each event is a group of its own; a group ends where the next begins.
    int sequence = 0, jobId = 0, state = 0;
    std::string reasons, text;
    const auto keep = [&] {
      if (sequence >= nextSequence_) nextSequence_ = sequence + 1;
      if (jobId > 0 && state >= IPP_JSTATE_CANCELED) ended_[jobId] = Ended(state, reasons, text);
      sequence = jobId = state = 0;
      reasons.clear();
      text.clear();
    };
    for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute;
         attribute = ippNextAttribute(response)) {
      const char* name = ippGetName(attribute);
      if (!name) {
        keep();
        continue;
      }
      if (ippGetGroupTag(attribute) != IPP_TAG_EVENT_NOTIFICATION) continue;
      const std::string_view is(name);
      if (is == "notify-sequence-number") sequence = ippGetInteger(attribute, 0);
      if (is == "notify-job-id") jobId = ippGetInteger(attribute, 0);
      if (is == "job-state") state = ippGetInteger(attribute, 0);
      if (is == "job-state-reasons") reasons = Keywords(attribute);
      if (is == "notify-text") text = ippGetString(attribute, 0, nullptr);
    }
    keep();
    ippDelete(response);
    return {};
  }

  const SpoolerLogin& login_;
  const int subscriptionId_;  // 0 when the server gave none
  int nextSequence_ = 1;
  std::map<int, JobLook> ended_;
};

}  // namespace

std::unique_ptr<JobFollower> CupsJobWatcher::Follow(std::chrono::milliseconds forAtMost,
                                                    Deadline& deadline) const {
  CupsConnection scheduler(deadline, login_);
  int subscriptionId = 0;
  if (scheduler.Connected()) {
    ipp_t* request = NewRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS, "printer-uri", kServerUri);
    ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr,
                 "ippget");
    const char* events[] = {"job-completed", "job-state-changed"};
    ippAddStrings(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", 2, nullptr,
                  events);
    // A run that dies leaves the subscription to lapse soon after.
    const auto lease = std::chrono::duration_cast<std::chrono::seconds>(forAtMost).count() + 60;
    ippAddInteger(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration",
                  static_cast<int>(lease));
    if (ipp_t* response = scheduler.Exchange(request, "/")) {
      if (CupsConnection::Verdict(response).Answered()) {
        subscriptionId = ippGetInteger(
            ippFindAttribute(response, "notify-subscription-id", IPP_TAG_INTEGER), 0);
      }
      ippDelete(response);
    }
  }
  return std::make_unique<CupsJobFollower>(login_, subscriptionId);
}

}  // namespace brisakett
