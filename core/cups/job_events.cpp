#include "cups/job_events.h"

#include <algorithm>
#include <climits>

#include "cups/job_listing.h"

namespace brisakett {
namespace {

constexpr const char* kServerUri = "ipp://localhost/";
// A run that dies leaves its subscription for at most this long; a run
// that lives renews it at half time.
constexpr int kLeaseSeconds = 60;
constexpr std::chrono::seconds kRenewAfter{kLeaseSeconds / 2};

ipp_t* NewRequest(ipp_op_t operation, int subscriptionId) {
  ipp_t* request = ippNewRequest(operation);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, kServerUri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  if (subscriptionId > 0) {
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER,
                  operation == IPP_OP_GET_NOTIFICATIONS ? "notify-subscription-ids"
                                                        : "notify-subscription-id",
                  subscriptionId);
  }
  return request;
}

// The answer, or the verdict on the request; the caller deletes it.
SpoolerAnswer<ipp_t*> Ask(CupsConnection& scheduler, ipp_t* request) {
  ipp_t* response = scheduler.Exchange(request, "/");
  if (!response) return {scheduler.Failure(), nullptr};
  ServerAnswer verdict = CupsConnection::Verdict(response);
  if (!verdict.Answered()) {
    ippDelete(response);
    return {std::move(verdict), nullptr};
  }
  return response;
}

}  // namespace

JobEvents::JobEvents(CupsConnection& scheduler) {
  ipp_t* request = NewRequest(IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS, 0);
  ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-pull-method", nullptr, "ippget");
  // A job's end is enough: how a job waits comes from the job list.
  ippAddString(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_KEYWORD, "notify-events", nullptr, "job-completed");
  ippAddInteger(request, IPP_TAG_SUBSCRIPTION, IPP_TAG_INTEGER, "notify-lease-duration", kLeaseSeconds);
  const SpoolerAnswer<ipp_t*> answer = Ask(scheduler, request);
  if (!answer.Answered()) {
    unusable_ = "the scheduler gave no subscription to job events: " + answer.reason;
    lastFailure_ = answer;
    return;
  }
  subscriptionId_ = ippGetInteger(ippFindAttribute(answer.value, "notify-subscription-id", IPP_TAG_INTEGER), 0);
  ippDelete(answer.value);
  if (subscriptionId_ <= 0) unusable_ = "the scheduler gave no subscription to job events";
  renewed_ = Clock::now();
}

void JobEvents::GiveUp(const ServerAnswer& refusal) {
  const std::lock_guard lock(mutex_);
  // Neither read nor renewed, it lapses by itself within its lease.
  subscriptionId_ = 0;
  unusable_ = "the scheduler's job events could not be read: " + refusal.reason;
}

void JobEvents::Renew(CupsConnection& scheduler) {
  ipp_t* request = NewRequest(IPP_OP_RENEW_SUBSCRIPTION, subscriptionId_);
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-lease-duration", kLeaseSeconds);
  const SpoolerAnswer<ipp_t*> answer = Ask(scheduler, request);
  if (answer.Answered()) {
    ippDelete(answer.value);
    const std::lock_guard lock(mutex_);
    renewed_ = Clock::now();
  } else if (!answer.ServerLost()) {
    GiveUp(answer);
  }
}

bool JobEvents::Read(CupsConnection& scheduler) {
  int subscription = 0, expected = 0;
  bool renew = false;
  {
    const std::lock_guard lock(mutex_);
    subscription = subscriptionId_;
    expected = nextSequence_;
    renew = Clock::now() - renewed_ >= kRenewAfter;
  }
  if (subscription == 0) return true;
  if (renew) Renew(scheduler);
  ipp_t* request = NewRequest(IPP_OP_GET_NOTIFICATIONS, subscription);
  ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "notify-sequence-numbers", expected);
  ippAddBoolean(request, IPP_TAG_OPERATION, "notify-wait", 0);
  const SpoolerAnswer<ipp_t*> answer = Ask(scheduler, request);
  const std::lock_guard lock(mutex_);
  if (subscriptionId_ == 0) {  // given up meanwhile
    if (answer.Answered()) ippDelete(answer.value);
    return true;
  }
  if (!answer.Answered()) {
    lastFailure_ = answer;
    if (answer.ServerLost()) return false;
    subscriptionId_ = 0;
    unusable_ = "the scheduler's job events could not be read: " + answer.reason;
    return true;
  }
  // Each event is a group of its own; a group ends where the next begins.
  int lowest = INT_MAX, sequence = 0, jobId = 0, state = 0;
  std::string reasons, text;
  const auto keep = [&] {
    if (sequence > 0) {
      lowest = std::min(lowest, sequence);
      nextSequence_ = std::max(nextSequence_, sequence + 1);
      if (jobId > 0 && state >= IPP_JSTATE_CANCELED) ended_[jobId] = Ended(state, reasons, text);
    }
    sequence = jobId = state = 0;
    reasons.clear();
    text.clear();
  };
  for (ipp_attribute_t* attribute = ippFirstAttribute(answer.value); attribute;
       attribute = ippNextAttribute(answer.value)) {
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
    if (is == "notify-text") text = ippGetString(attribute, 0, nullptr) ? ippGetString(attribute, 0, nullptr) : "";
  }
  keep();
  ippDelete(answer.value);
  // The server dropped the oldest events before they were read.
  if (lowest != INT_MAX && lowest > expected) lastGap_ = Clock::now();
  return true;
}

void JobEvents::Cancel(CupsConnection& scheduler) {
  int subscription = 0;
  {
    const std::lock_guard lock(mutex_);
    std::swap(subscription, subscriptionId_);
  }
  if (subscription == 0) return;
  const SpoolerAnswer<ipp_t*> answer = Ask(scheduler, NewRequest(IPP_OP_CANCEL_SUBSCRIPTION, subscription));
  if (answer.Answered()) ippDelete(answer.value);
}

std::string JobEvents::Unusable() const {
  const std::lock_guard lock(mutex_);
  return unusable_;
}

ServerAnswer JobEvents::LastFailure() const {
  const std::lock_guard lock(mutex_);
  return lastFailure_;
}

std::optional<JobLook> JobEvents::EndOf(int jobId) const {
  const std::lock_guard lock(mutex_);
  const auto found = ended_.find(jobId);
  if (found == ended_.end()) return std::nullopt;
  return found->second;
}

bool JobEvents::MayHaveMissed(Clock::time_point since) const {
  const std::lock_guard lock(mutex_);
  return !unusable_.empty() || (lastGap_ && *lastGap_ >= since);
}

JobEventListener::JobEventListener(JobEvents& events, const SpoolerLogin& login)
    : events_(events), login_(login), thread_([this] { Listen(); }) {}

JobEventListener::~JobEventListener() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void JobEventListener::Listen() {
  // As often as this: a local scheduler answers in a millisecond or two.
  constexpr std::chrono::milliseconds kPause{20};
  constexpr std::chrono::milliseconds kPauseAfterSilence{500};
  Deadline deadline(kServerPatience);
  CupsConnection scheduler(deadline, login_);
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    const Clock::time_point began = Clock::now();
    Deadline patience(kServerPatience);
    scheduler.Use(patience);
    const bool heard = scheduler.Connected() && events_.Read(scheduler);
    lock.lock();
    if (heard) lastHeard_ = began;
    changed_.notify_all();
    changed_.wait_for(lock, heard ? kPause : kPauseAfterSilence, [this] { return stopping_; });
  }
}

bool JobEventListener::HeardSince(Clock::time_point since, const Deadline& deadline) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, deadline.Left(), [&] { return lastHeard_ && *lastHeard_ >= since; });
}

}  // namespace brisakett
