#include "win32/win32_job_watcher.h"

#include <windows.h>
#include <winspool.h>

#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "win32/job_history.h"
#include "win32/printer_handle.h"
#include "win32/spooler_error.h"
#include "win32/utf16.h"
#include "within_deadline.h"

namespace brisakett {
namespace {

// A look's reading, or the error that kept the spooler from giving it.
struct JobRead {
  JobReading reading;
  bool failed = false;
  DWORD error = ERROR_SUCCESS;
};

JobRead Failed(DWORD error) { return {{}, true, error}; }

// PRINTER_INFO_2W's Status; 0 when it cannot be read, which leaves the
// job's own status to tell.
DWORD PrinterStatus(WinspoolCalls& winspool, HANDLE printer) {
  DWORD needed = 0;
  winspool.GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (needed == 0) return 0;
  std::vector<BYTE> record(needed);
  if (!winspool.GetPrinterW(printer, 2, record.data(), needed, &needed)) return 0;
  return reinterpret_cast<const PRINTER_INFO_2W*>(record.data())->Status;
}

// Opens the printer and reads the job (JOB_INFO_2W) and the printer's
// status. Runs on a thread that the look may leave behind.
JobRead ReadJob(const std::shared_ptr<WinspoolCalls>& winspool, const std::string& deviceName,
                int jobId) {
  const PrinterOpening opened = OpenPrinterNamed(winspool, deviceName);
  if (!opened.printer) return Failed(opened.error);
  const HANDLE printer = opened.printer.Get();
  const auto id = static_cast<DWORD>(jobId);
  std::vector<BYTE> record;
  DWORD needed = 0;
  for (;;) {
    // Wine's GetJobW fails for a job it no longer has without setting an
    // error; Windows says ERROR_INVALID_PARAMETER.
    SetLastError(ERROR_SUCCESS);
    const BOOL got = winspool->GetJobW(printer, id, 2, record.empty() ? nullptr : record.data(),
                                       static_cast<DWORD>(record.size()), &needed);
    if (got && !record.empty()) break;
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_PARAMETER || error == ERROR_SUCCESS) return {};  // not known
    // The record may grow between the size and the read; read again.
    if (error != ERROR_INSUFFICIENT_BUFFER || needed == 0) return Failed(error);
    record.resize(needed);
  }
  const auto& job = *reinterpret_cast<const JOB_INFO_2W*>(record.data());
  JobRead read;
  read.reading.known = true;
  read.reading.status = job.Status;
  read.reading.statusText = job.pStatus ? Utf8FromWide(job.pStatus) : std::string();
  read.reading.printerStatus = PrinterStatus(*winspool, printer);
  return read;
}

struct CancelDone {
  bool failed = false;
  DWORD error = ERROR_SUCCESS;
};

CancelDone DeleteJob(const std::shared_ptr<WinspoolCalls>& winspool, const std::string& deviceName,
                     int jobId) {
  const PrinterOpening opened = OpenPrinterNamed(winspool, deviceName);
  if (!opened.printer) return {true, opened.error};
  SetLastError(ERROR_SUCCESS);
  if (!winspool->SetJobW(opened.printer.Get(), static_cast<DWORD>(jobId), JOB_CONTROL_DELETE)) {
    return {true, GetLastError()};
  }
  return {};
}

// Asks for job statuses only; `flags` PRINTER_NOTIFY_OPTIONS_REFRESH asks
// again for every job's.
struct StatusOptions {
  explicit StatusOptions(DWORD flags = 0) {
    type.Type = JOB_NOTIFY_TYPE;
    type.Count = 1;
    type.pFields = &field;
    options.Version = 2;
    options.Flags = flags;
    options.Count = 1;
    options.pTypes = &type;
  }
  StatusOptions(const StatusOptions&) = delete;
  StatusOptions& operator=(const StatusOptions&) = delete;

  WORD field = JOB_NOTIFY_FIELD_STATUS;
  PRINTER_NOTIFY_OPTIONS_TYPE type{};
  PRINTER_NOTIFY_OPTIONS options{};
};

// This computer's print server and its change notifications of job
// statuses, closed when it dies: also on a thread left behind at a
// deadline.
class JobNotifications {
public:
  JobNotifications() = default;
  JobNotifications(std::shared_ptr<WinspoolCalls> winspool, PrinterHandle server, HANDLE change)
      : winspool_(std::move(winspool)), server_(std::move(server)), change_(change) {}
  JobNotifications(JobNotifications&& other) noexcept
      : winspool_(std::move(other.winspool_)),
        server_(std::move(other.server_)),
        change_(std::exchange(other.change_, INVALID_HANDLE_VALUE)) {}
  JobNotifications& operator=(JobNotifications&& other) noexcept {
    std::swap(winspool_, other.winspool_);
    std::swap(server_, other.server_);
    std::swap(change_, other.change_);
    return *this;
  }
  ~JobNotifications() {
    // Before the server's handle, which the notifications belong to.
    if (change_ != INVALID_HANDLE_VALUE) winspool_->FindClosePrinterChangeNotification(change_);
  }

  HANDLE Change() const { return change_; }
  explicit operator bool() const { return change_ != INVALID_HANDLE_VALUE; }

private:
  std::shared_ptr<WinspoolCalls> winspool_;
  PrinterHandle server_;
  HANDLE change_ = INVALID_HANDLE_VALUE;
};

// Nothing where the spooler gives no notifications (Wine's fails the
// call): the jobs are then followed by their looks alone.
JobNotifications WatchLocalJobs(const std::shared_ptr<WinspoolCalls>& winspool) {
  PrinterOpening server = OpenPrinterNamed(winspool, {});
  if (!server.printer) return {};
  StatusOptions asking;
  const HANDLE change =
      winspool->FindFirstPrinterChangeNotification(server.printer.Get(), 0, &asking.options);
  if (change == INVALID_HANDLE_VALUE || change == nullptr) return {};
  return {winspool, std::move(server.printer), change};
}

class Win32JobFollower final : public JobFollower {
public:
  Win32JobFollower(std::shared_ptr<WinspoolCalls> winspool, JobNotifications notifications)
      : winspool_(std::move(winspool)),
        notifications_(std::move(notifications)),
        notified_(bool(notifications_)) {}

  // The jobs are read first and the notifications heard after: a job that
  // ends just before its read has its last word waiting by then, so every
  // read is judged with all the spooler said before it.
  std::vector<SpoolerAnswer<JobLook>> Look(const std::vector<WatchedJob>& jobs,
                                           Deadline& deadline) override {
    const std::vector<SpoolerAnswer<JobReading>> reads = Read(jobs, deadline);
    HearNotifications();
    std::vector<SpoolerAnswer<JobLook>> looks;
    looks.reserve(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      if (!reads[i].Answered()) {
        looks.emplace_back(reads[i]);
      } else {
        looks.emplace_back(HistoryOf(jobs[i]).Take(reads[i].value));
      }
    }
    return looks;
  }

  std::vector<ServerAnswer> Cancel(const std::vector<WatchedJob>& jobs, Deadline& deadline) override {
    std::vector<ServerAnswer> verdicts;
    for (const WatchedJob& job : jobs) verdicts.push_back(CancelOne(job, deadline));
    return verdicts;
  }

private:
  ServerAnswer CancelOne(const WatchedJob& job, Deadline& deadline) {
    const std::string server = PrintServerOf(job.deviceName);
    const std::optional<CancelDone> done =
        WithinDeadline(deadline, [winspool = winspool_, name = job.deviceName, id = job.jobId] {
          return DeleteJob(winspool, name, id);
        });
    if (!done) return SpoolerTimedOut(server);
    if (!done->failed) return {};
    // Windows' word for a job it no longer has (Wine sets none).
    if (done->error == ERROR_INVALID_PARAMETER || done->error == ERROR_SUCCESS) {
      return {ServerVerdict::Refused, "the job had already left the queue"};
    }
    return SpoolerFailureOf(done->error, server);
  }

  // Each job's reading, or why the spooler gave none. A server lost for
  // one job is lost for its other jobs in this look: they are not asked
  // again.
  std::vector<SpoolerAnswer<JobReading>> Read(const std::vector<WatchedJob>& jobs,
                                              Deadline& deadline) {
    std::map<std::string, ServerAnswer> lost;
    std::vector<SpoolerAnswer<JobReading>> reads;
    reads.reserve(jobs.size());
    for (const WatchedJob& job : jobs) {
      const std::string server = PrintServerOf(job.deviceName);
      if (const auto gone = lost.find(server); gone != lost.end()) {
        reads.emplace_back(gone->second);
        continue;
      }
      const std::optional<JobRead> read =
          WithinDeadline(deadline, [winspool = winspool_, name = job.deviceName, id = job.jobId] {
            return ReadJob(winspool, name, id);
          });
      if (!read) {
        reads.emplace_back(SpoolerTimedOut(server));
      } else if (read->failed) {
        reads.emplace_back(SpoolerFailureOf(read->error, server));
      } else {
        reads.emplace_back(read->reading);
      }
      if (reads.back().ServerLost()) lost.emplace(server, reads.back());
    }
    return reads;
  }

  // The notifications cover this computer's printers only, whose job ids
  // the one server gives out; a connection's jobs are another server's.
  JobHistory& HistoryOf(const WatchedJob& job) {
    if (notified_ && PrintServerOf(job.deviceName) == "localhost") {
      return localHistories_[job.jobId];
    }
    return histories_[{job.deviceName, job.jobId}];
  }

  // Takes what the spooler announced since the last look without waiting
  // for more. Once it says it discarded some, it announces nothing more
  // until asked for every job's status again (a refresh), so a refresh
  // still owed is asked for first, look after look, until one comes whole.
  // A failure ends the notifications; the looks go on alone.
  void HearNotifications() {
    // More rounds than the spooler's bursts need, yet no endless loop on a
    // busy server: what is left waits for the next look.
    constexpr int kMostRounds = 16;
    for (int round = 0; notifications_ && round < kMostRounds; ++round) {
      if (refreshOwed_) {
        StatusOptions everyJob(PRINTER_NOTIFY_OPTIONS_REFRESH);
        refreshOwed_ = Hear(&everyJob.options);
        if (refreshOwed_) return;
      } else if (winspool_->ChangeSignalled(notifications_.Change())) {
        refreshOwed_ = Hear(nullptr);
      } else {
        return;
      }
    }
  }

  // One FindNextPrinterChangeNotification; true when it says notifications
  // were discarded.
  bool Hear(PRINTER_NOTIFY_OPTIONS* asking) {
    DWORD cause = 0;
    void* told = nullptr;
    if (!winspool_->FindNextPrinterChangeNotification(notifications_.Change(), &cause, asking,
                                                      &told)) {
      notifications_ = JobNotifications();
      return false;
    }
    if (!told) return false;
    auto* info = static_cast<PRINTER_NOTIFY_INFO*>(told);
    const bool discarded = HearJobStatuses(*info, localHistories_);
    winspool_->FreePrinterNotifyInfo(info);
    return discarded;
  }

  std::shared_ptr<WinspoolCalls> winspool_;
  JobNotifications notifications_;
  // The notifications once worked: this computer's jobs are kept by id.
  bool notified_ = false;
  bool refreshOwed_ = false;
  std::map<int, JobHistory> localHistories_;
  std::map<std::pair<std::string, int>, JobHistory> histories_;
};

}  // namespace

Win32JobWatcher::Win32JobWatcher(std::shared_ptr<WinspoolCalls> winspool)
    : winspool_(std::move(winspool)) {}

std::unique_ptr<JobFollower> Win32JobWatcher::Follow(std::chrono::milliseconds,
                                                     Deadline& deadline) const {
  std::optional<JobNotifications> notifications =
      WithinDeadline(deadline, [winspool = winspool_] { return WatchLocalJobs(winspool); });
  return std::make_unique<Win32JobFollower>(
      winspool_, notifications ? std::move(*notifications) : JobNotifications());
}

}  // namespace brisakett
