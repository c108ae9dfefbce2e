#include "scheduler_jobs.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>

#include <cups/cups.h>

#include "send_many_common.h"

namespace brisakett::bench {
namespace {

using namespace std::chrono_literals;

// Whether the scheduler has no job left that is not completed. It lists
// 500 jobs at most, so with more a round's jobs cannot be counted done;
// none left active says the same.
bool NoJobActive(const testing::PrivateCupsd& cupsd) {
  http_t* http = httpConnect2(cupsd.SocketPath().c_str(), 0, nullptr, AF_UNSPEC,
                              HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
  if (!http) return false;
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr, "job-id");
  ipp_t* response = cupsDoRequest(http, request, "/");
  const bool none = response && cupsLastError() <= IPP_STATUS_OK_CONFLICTING &&
                    !ippFindAttribute(response, "job-id", IPP_TAG_INTEGER);
  ippDelete(response);
  httpClose(http);
  return none;
}

}  // namespace

int LastJobId(const testing::PrivateCupsd& cupsd) {
  int last = 0;
  for (const testing::SpooledJob& job : cupsd.Jobs()) last = std::max(last, job.id);
  return last;
}

void WaitUntilNoJobActive(const testing::PrivateCupsd& cupsd) {
  const auto deadline = std::chrono::steady_clock::now() + 600s;
  while (!NoJobActive(cupsd)) {
    if (std::chrono::steady_clock::now() > deadline) Fail("the jobs did not all complete");
    std::this_thread::sleep_for(100ms);
  }
}

void CheckEveryQueueOnce(const testing::PrivateCupsd& cupsd, const tools::CaptureServer& printer,
                         std::size_t total, int lastJobBefore, int queues) {
  if (!printer.WaitForJobs(total, 600s)) {
    Fail("the printer received " + std::to_string(printer.Jobs().size()) + " of " +
         std::to_string(total) + " jobs");
  }
  std::map<std::string, int> perQueue;
  for (const testing::SpooledJob& job : cupsd.Jobs()) {
    if (job.id > lastJobBefore) ++perQueue[job.queue];
  }
  if (perQueue.size() != static_cast<std::size_t>(queues)) {
    Fail(std::to_string(perQueue.size()) + " queues got a job, not " + std::to_string(queues));
  }
  for (const auto& [queue, count] : perQueue) {
    if (count != 1) Fail(queue + " got " + std::to_string(count) + " jobs");
  }
}

}  // namespace brisakett::bench
