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
DWORD PrinterStatus(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (needed == 0) return 0;
  std::vector<BYTE> record(needed);
  if (!GetPrinterW(printer, 2, record.data(), needed, &needed)) return 0;
  return reinterpret_cast<const PRINTER_INFO_2W*>(record.data())->Status;
}

// Opens the printer and reads the job (JOB_INFO_2W) and the printer's
// status. Runs on a thread that the look may leave behind.
JobRead ReadJob(const std::string& deviceName, int jobId) {
  const PrinterOpening opened = OpenPrinterNamed(deviceName);
  if (!opened.printer) return Failed(opened.error);
  const HANDLE printer = opened.printer.Get();
  const auto id = static_cast<DWORD>(jobId);
  std::vector<BYTE> record;
  DWORD needed = 0;
  for (;;) {
    // Wine's GetJobW fails for a job it no longer has without setting an
    // error; Windows says ERROR_INVALID_PARAMETER.
    SetLastError(ERROR_SUCCESS);
    const BOOL got = GetJobW(printer, id, 2, record.empty() ? nullptr : record.data(),
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
  read.reading.printerStatus = PrinterStatus(printer);
  return read;
}

struct CancelDone {
  bool failed = false;
  DWORD error = ERROR_SUCCESS;
};

CancelDone DeleteJob(const std::string& deviceName, int jobId) {
  const PrinterOpening opened = OpenPrinterNamed(deviceName);
  if (!opened.printer) return {true, opened.error};
  if (!SetJobW(opened.printer.Get(), static_cast<DWORD>(jobId), 0, nullptr, JOB_CONTROL_DELETE)) {
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
  JobNotifications(PrinterHandle server, HANDLE change)
      : server_(std::move(server)), change_(change) {}
  JobNotifications(JobNotifications&& other) noexcept
      : server_(std::move(other.server_)),
        change_(std::exchange(other.change_, INVALID_HANDLE_VALUE)) {}
  JobNotifications& operator=(JobNotifications&& other) noexcept {
    std::swap(server_, other.server_);
    std::swap(change_, other.change_);
    return *this;
  }
  ~JobNotifications() {
    // Before the server's handle, which the notifications belong to.
    if (change_ != INVALID_HANDLE_VALUE) FindClosePrinterChangeNotification(change_);
  }

  HANDLE Change() const { return change_; }
  explicit operator bool() const { return change_ != INVALID_HANDLE_VALUE; }

private:
  PrinterHandle server_;
  HANDLE change_ = INVALID_HANDLE_VALUE;
};

// Nothing where the spooler gives no notifications (Wine's fails the
// call): the jobs are then followed by their looks alone.
JobNotifications WatchLocalJobs() {
  HANDLE opened = nullptr;
  if (!OpenPrinterW(nullptr, &opened, nullptr)) return {};
  PrinterHandle server(opened);
  StatusOptions asking;
  const HANDLE change = FindFirstPrinterChangeNotification(server.Get(), 0, 0, &asking.options);
  if (change == INVALID_HANDLE_VALUE || change == nullptr) return {};
  return {std::move(server), change};
}

class Win32JobFollower final : public JobFollower {
public:
  explicit Win32JobFollower(JobNotifications notifications)
      : notifications_(std::move(notifications)), notified_(bool(notifications_)) {}

  std::vector<SpoolerAnswer<JobLook>> Look(const std::vector<WatchedJob>& jobs,
                                           Deadline& deadline) override {
    // A server lost for one job is lost for its other jobs in this look:
    // they are not asked again.
    std::map<std::string, ServerAnswer> lost;
    HearNotifications();
    std::vector<SpoolerAnswer<JobLook>> looks;
    looks.reserve(jobs.size());
    for (const WatchedJob& job : jobs) {
      const std::string server = PrintServerOf(job.deviceName);
      if (const auto gone = lost.find(server); gone != lost.end()) {
        looks.emplace_back(gone->second);
        continue;
      }
      const std::optional<JobRead> read = WithinDeadline(
          deadline, [name = job.deviceName, id = job.jobId] { return ReadJob(name, id); });
      if (!read) {
        looks.emplace_back(SpoolerTimedOut(server));
      } else if (read->failed) {
        looks.emplace_back(SpoolerFailureOf(read->error, server));
      } else {
        looks.emplace_back(HistoryOf(job, server).Take(read->reading));
      }
      if (looks.back().ServerLost()) lost.emplace(server, looks.back());
    }
    return looks;
  }

  std::vector<ServerAnswer> Cancel(const std::vector<WatchedJob>& jobs, Deadline& deadline) override {
    std::vector<ServerAnswer> verdicts;
    for (const WatchedJob& job : jobs) verdicts.push_back(CancelOne(job, deadline));
    return verdicts;
  }

private:
  static ServerAnswer CancelOne(const WatchedJob& job, Deadline& deadline) {
    const std::string server = PrintServerOf(job.deviceName);
    const std::optional<CancelDone> done = WithinDeadline(
        deadline, [name = job.deviceName, id = job.jobId] { return DeleteJob(name, id); });
    if (!done) return SpoolerTimedOut(server);
    if (done->failed) return SpoolerFailureOf(done->error, server);
    return {};
  }

  // The notifications cover this computer's printers only, whose job ids
  // the one server gives out; a connection's jobs are another server's.
  JobHistory& HistoryOf(const WatchedJob& job, const std::string& server) {
    if (notified_ && server == "localhost") return localHistories_[job.jobId];
    return histories_[{job.deviceName, job.jobId}];
  }

  // Takes what the spooler announced since the last round without waiting
  // for more. A failure ends the notifications; the looks go on alone.
  void HearNotifications() {
    // More rounds than the spooler's bursts need, yet no endless loop on a
    // busy server: what is left waits for the next look.
    constexpr int kMostRounds = 16;
    for (int round = 0; notifications_ && round < kMostRounds &&
                        WaitForSingleObject(notifications_.Change(), 0) == WAIT_OBJECT_0;
         ++round) {
      bool refresh = Hear(nullptr);
      // A second refresh is seldom needed; a third would only mean a
      // server too busy to catch up with, left to the next round.
      for (int again = 0; notifications_ && refresh && again < 2; ++again) {
        StatusOptions everyJob(PRINTER_NOTIFY_OPTIONS_REFRESH);
        refresh = Hear(&everyJob.options);
      }
    }
  }

  // One FindNextPrinterChangeNotification; true when it says notifications
  // were discarded.
  bool Hear(PRINTER_NOTIFY_OPTIONS* asking) {
    DWORD cause = 0;
    void* told = nullptr;
    if (!FindNextPrinterChangeNotification(notifications_.Change(), &cause, asking, &told)) {
      notifications_ = JobNotifications();
      return false;
    }
    if (!told) return false;
    auto* info = static_cast<PRINTER_NOTIFY_INFO*>(told);
    const bool discarded = HearJobStatuses(*info, localHistories_);
    FreePrinterNotifyInfo(info);
    return discarded;
  }

  JobNotifications notifications_;
  // The notifications once worked: this computer's jobs are kept by id.
  bool notified_ = false;
  std::map<int, JobHistory> localHistories_;
  std::map<std::pair<std::string, int>, JobHistory> histories_;
};

}  // namespace

std::unique_ptr<JobFollower> Win32JobWatcher::Follow(std::chrono::milliseconds,
                                                     Deadline& deadline) const {
  std::optional<JobNotifications> notifications = WithinDeadline(deadline, WatchLocalJobs);
  return std::make_unique<Win32JobFollower>(notifications ? std::move(*notifications)
                                                          : JobNotifications());
}

}  // namespace brisakett
