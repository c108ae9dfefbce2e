#include "cups/job_listing.h"

#include <algorithm>
#include <initializer_list>

namespace brisakett {
namespace {

constexpr const char* kServerUri = "ipp://localhost/";
// cupsd lists at most this many ended jobs with their attributes at once.
constexpr std::size_t kLongestList = 500;

bool Contains(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// "what: message (reasons)", leaving out what is empty.
std::string Said(const std::string& what, const std::string& message, const std::string& reasons) {
  std::string text = what;
  if (!message.empty()) text += (text.empty() ? "" : ": ") + message;
  if (!reasons.empty()) text += (text.empty() ? "" : " ") + ("(" + reasons + ")");
  return text;
}

bool Unreachable(const std::string& printerReasons) {
  for (const char* sign : {"connecting-to-device", "offline", "timed-out"}) {
    if (Contains(printerReasons, sign)) return true;
  }
  return false;
}

ipp_t* NewRequest(ipp_op_t operation, std::initializer_list<const char*> wanted) {
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, kServerUri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(wanted.size()), nullptr, wanted.begin());
  return request;
}

// The answer, or the scheduler's verdict on the request.
SpoolerAnswer<ipp_t*> Ask(CupsConnection& scheduler, ipp_t* request) {
  ipp_t* response = scheduler.Exchange(request, "/");
  if (!response) return {scheduler.Failure(), nullptr};
  ServerAnswer verdict = CupsConnection::Verdict(response);
  // An empty list is "not found" to cupsd, and no failure.
  if (!verdict.Answered() && ippGetStatusCode(response) != IPP_STATUS_ERROR_NOT_FOUND) {
    ippDelete(response);
    return {std::move(verdict), nullptr};
  }
  return response;
}

// Calls `each` for every group of the response (a job, a printer), with
// its attributes by name.
template <typename Each>
void ForEachGroup(ipp_t* response, Each each) {
  std::map<std::string, ipp_attribute_t*> group;
  const auto done = [&] {
    if (!group.empty()) each(group);
    group.clear();
  };
  for (ipp_attribute_t* attribute = ippFirstAttribute(response); attribute;
       attribute = ippNextAttribute(response)) {
    const char* name = ippGetName(attribute);
    if (!name) {
      done();  // each job or printer is a group of its own
      continue;
    }
    if (ippGetGroupTag(attribute) != IPP_TAG_OPERATION) group[name] = attribute;
  }
  done();
}

int Integer(const std::map<std::string, ipp_attribute_t*>& group, const char* name) {
  const auto found = group.find(name);
  return found == group.end() ? 0 : ippGetInteger(found->second, 0);
}

std::string Text(const std::map<std::string, ipp_attribute_t*>& group, const char* name) {
  const auto found = group.find(name);
  const char* text = found == group.end() ? nullptr : ippGetString(found->second, 0, nullptr);
  return text ? text : "";
}

std::string KeywordsOf(const std::map<std::string, ipp_attribute_t*>& group, const char* name) {
  const auto found = group.find(name);
  return found == group.end() ? "" : Keywords(found->second);
}

}  // namespace

std::string Keywords(ipp_attribute_t* attribute) {
  std::string joined;
  for (int i = 0; i < ippGetCount(attribute); ++i) {
    const char* keyword = ippGetString(attribute, i, nullptr);
    if (!keyword || std::string_view(keyword) == "none") continue;
    if (!joined.empty()) joined += ", ";
    joined += keyword;
  }
  return joined;
}

SpoolerAnswer<std::map<int, ListedJob>> ListJobs(CupsConnection& scheduler, bool completed,
                                                 int firstJobId) {
  std::map<int, ListedJob> jobs;
  for (;;) {
    ipp_t* request = NewRequest(IPP_OP_GET_JOBS, {"job-id", "job-state", "job-state-reasons",
                                                  "job-printer-state-message"});
    ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr,
                 completed ? "completed" : "not-completed");
    if (firstJobId > 0) {
      ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "first-job-id", firstJobId);
    }
    const SpoolerAnswer<ipp_t*> answer = Ask(scheduler, request);
    if (!answer.Answered()) return answer;
    std::size_t listed = 0;
    int last = 0;
    ForEachGroup(answer.value, [&](const std::map<std::string, ipp_attribute_t*>& group) {
      const int id = Integer(group, "job-id");
      if (id <= 0) return;
      ++listed;
      last = std::max(last, id);
      jobs[id] = {Integer(group, "job-state"), KeywordsOf(group, "job-state-reasons"),
                  Text(group, "job-printer-state-message")};
    });
    ippDelete(answer.value);
    if (!completed || listed < kLongestList || last < firstJobId) return jobs;
    firstJobId = last + 1;
  }
}

SpoolerAnswer<std::map<std::string, ListedQueue>> ListQueues(CupsConnection& scheduler) {
  const SpoolerAnswer<ipp_t*> answer =
      Ask(scheduler, NewRequest(IPP_OP_CUPS_GET_PRINTERS,
                                {"printer-name", "printer-state", "printer-state-reasons",
                                 "printer-state-message", "member-names"}));
  if (!answer.Answered()) return answer;
  std::map<std::string, ListedQueue> queues;
  ForEachGroup(answer.value, [&](const std::map<std::string, ipp_attribute_t*>& group) {
    const std::string name = Text(group, "printer-name");
    if (name.empty()) return;
    ListedQueue& queue = queues[name];
    queue.state = Integer(group, "printer-state");
    queue.reasons = KeywordsOf(group, "printer-state-reasons");
    queue.message = Text(group, "printer-state-message");
    if (const auto members = group.find("member-names"); members != group.end()) {
      for (int i = 0; i < ippGetCount(members->second); ++i) {
        if (const char* member = ippGetString(members->second, i, nullptr)) queue.members.push_back(member);
      }
    }
  });
  ippDelete(answer.value);
  return queues;
}

// CUPS completes a job whose document the printer refused ("Unable to add
// document to print job."), with an error among its reasons: that job
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

JobLook WhyWaiting(const ListedJob& job, const std::string& queueName,
                   const std::map<std::string, ListedQueue>& queues) {
  if (job.state == IPP_JSTATE_HELD) return {JobLook::State::Waiting, Said("job held", {}, job.reasons)};
  const auto found = queues.find(queueName);
  const ListedQueue queue = found == queues.end() ? ListedQueue{} : found->second;
  const std::string message = job.printerMessage.empty() ? queue.message : job.printerMessage;
  if (queue.state == IPP_PSTATE_STOPPED || job.state == IPP_JSTATE_STOPPED) {
    return {JobLook::State::Waiting, Said("queue stopped", message, queue.reasons)};
  }
  // A class prints on any of its printers: stopped, it waits for one.
  if (!queue.members.empty() && job.state == IPP_JSTATE_PENDING) {
    std::string stopped;
    for (const std::string& member : queue.members) {
      const auto printer = queues.find(member);
      if (printer != queues.end() && printer->second.state == IPP_PSTATE_STOPPED) {
        stopped += (stopped.empty() ? "" : ", ") + member;
      }
    }
    if (!stopped.empty()) {
      return {JobLook::State::Waiting,
              Said("queued", "printers of the class stopped: " + stopped, job.reasons)};
    }
  }
  if (Unreachable(queue.reasons)) {
    return {JobLook::State::Waiting, Said("printer not reachable", message, queue.reasons)};
  }
  if (job.state == IPP_JSTATE_PROCESSING) {
    return {JobLook::State::Waiting, Said("sending to the printer", message, queue.reasons)};
  }
  return {JobLook::State::Waiting, Said("queued", {}, job.reasons)};
}

}  // namespace brisakett
