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

class Win32JobFollower final : public JobFollower {
public:
  std::vector<SpoolerAnswer<JobLook>> Look(const std::vector<WatchedJob>& jobs,
                                           Deadline& deadline) override {
    // A server lost for one job is lost for its other jobs in this look:
    // they are not asked again.
    std::map<std::string, ServerAnswer> lost;
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
        looks.emplace_back(histories_[{job.deviceName, job.jobId}].Take(read->reading));
      }
      if (looks.back().ServerLost()) lost.emplace(server, looks.back());
    }
    return looks;
  }

  ServerAnswer Cancel(const WatchedJob& job, Deadline& deadline) override {
    const std::string server = PrintServerOf(job.deviceName);
    const std::optional<CancelDone> done = WithinDeadline(
        deadline, [name = job.deviceName, id = job.jobId] { return DeleteJob(name, id); });
    if (!done) return SpoolerTimedOut(server);
    if (done->failed) return SpoolerFailureOf(done->error, server);
    return {};
  }

private:
  std::map<std::pair<std::string, int>, JobHistory> histories_;
};

}  // namespace

std::unique_ptr<JobFollower> Win32JobWatcher::Follow(std::chrono::milliseconds,
                                                     Deadline&) const {
  return std::make_unique<Win32JobFollower>();
}

}  // namespace brisakett
