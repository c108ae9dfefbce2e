#include "win32/win32_job_watcher.h"

#include <windows.h>
#include <winspool.h>

#include <vector>

#include "win32/system_error_text.h"
#include "win32/utf16.h"

namespace brisakett {
namespace {

class OpenedPrinter {
public:
  explicit OpenedPrinter(const std::string& deviceName) {
    std::wstring name = WideFromUtf8(deviceName);
    if (!OpenPrinterW(name.data(), &handle_, nullptr)) handle_ = nullptr;
  }
  ~OpenedPrinter() {
    if (handle_) ClosePrinter(handle_);
  }
  OpenedPrinter(const OpenedPrinter&) = delete;
  OpenedPrinter& operator=(const OpenedPrinter&) = delete;

  HANDLE Handle() const { return handle_; }

private:
  HANDLE handle_ = nullptr;
};

// The spooler's record of the job (JOB_INFO_2W); empty when it has none,
// with GetLastError() saying why.
std::vector<BYTE> JobRecord(HANDLE printer, int jobId) {
  DWORD needed = 0;
  // Wine's GetJobW fails for an unknown job without setting an error.
  SetLastError(ERROR_SUCCESS);
  GetJobW(printer, static_cast<DWORD>(jobId), 2, nullptr, 0, &needed);
  if (needed == 0) return {};
  std::vector<BYTE> record(needed);
  if (!GetJobW(printer, static_cast<DWORD>(jobId), 2, record.data(), needed, &needed)) return {};
  return record;
}

// PRINTER_INFO_2W's Status; 0 when it cannot be read.
DWORD PrinterStatus(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  if (needed == 0) return 0;
  std::vector<BYTE> record(needed);
  if (!GetPrinterW(printer, 2, record.data(), needed, &needed)) return 0;
  return reinterpret_cast<const PRINTER_INFO_2W*>(record.data())->Status;
}

std::string Said(const std::string& what, const std::string& message) {
  return message.empty() ? what : what + ": " + message;
}

}  // namespace

JobLook Win32JobWatcher::Look(const std::string& deviceName, int jobId) const {
  const OpenedPrinter printer(deviceName);
  if (!printer.Handle()) {
    return {JobLook::State::Waiting,
            "the spooler cannot open the printer: " + SystemErrorText(GetLastError())};
  }
  const std::vector<BYTE> record = JobRecord(printer.Handle(), jobId);
  if (record.empty()) {
    const DWORD error = GetLastError();
    // The spooler removes a job from the queue once the printer has it,
    // unless the printer is set to keep printed documents. Wine's removes it
    // once CUPS has it.
    if (error == ERROR_INVALID_PARAMETER || error == ERROR_SUCCESS) {
      return {JobLook::State::Completed, {}};
    }
    return {JobLook::State::Waiting,
            "the spooler did not report the job: " + SystemErrorText(error)};
  }
  const auto& job = *reinterpret_cast<const JOB_INFO_2W*>(record.data());
  const DWORD status = job.Status;
  const std::string text = job.pStatus ? Utf8FromWide(job.pStatus) : std::string();

  if (status & (JOB_STATUS_PRINTED | JOB_STATUS_COMPLETE)) return {JobLook::State::Completed, {}};
  if (status & (JOB_STATUS_DELETING | JOB_STATUS_DELETED)) {
    return {JobLook::State::Canceled, Said("deleted", text)};
  }
  if (status & JOB_STATUS_BLOCKED_DEVQ) {
    return {JobLook::State::Aborted, Said("the printer's driver cannot print the job", text)};
  }
  if (status & JOB_STATUS_PAUSED) return {JobLook::State::Waiting, Said("job held", text)};

  const DWORD printerStatus = PrinterStatus(printer.Handle());
  if (printerStatus & PRINTER_STATUS_PAUSED) {
    return {JobLook::State::Waiting, Said("queue stopped", text)};
  }
  if ((status & JOB_STATUS_OFFLINE) ||
      (printerStatus & (PRINTER_STATUS_OFFLINE | PRINTER_STATUS_NOT_AVAILABLE |
                        PRINTER_STATUS_SERVER_UNKNOWN | PRINTER_STATUS_ERROR))) {
    return {JobLook::State::Waiting, Said("printer not reachable", text)};
  }
  if (status & (JOB_STATUS_ERROR | JOB_STATUS_PAPEROUT | JOB_STATUS_USER_INTERVENTION)) {
    return {JobLook::State::Waiting, Said("printer needs attention", text)};
  }
  if (status & JOB_STATUS_PRINTING) return {JobLook::State::Waiting, Said("sending to the printer", text)};
  return {JobLook::State::Waiting, Said("queued", text)};
}

bool Win32JobWatcher::Cancel(const std::string& deviceName, int jobId, std::string& why) const {
  const OpenedPrinter printer(deviceName);
  if (!printer.Handle() ||
      !SetJobW(printer.Handle(), static_cast<DWORD>(jobId), 0, nullptr, JOB_CONTROL_DELETE)) {
    why = SystemErrorText(GetLastError());
    return false;
  }
  return true;
}

}  // namespace brisakett
