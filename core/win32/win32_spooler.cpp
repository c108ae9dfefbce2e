#include "win32/win32_spooler.h"

#include <windows.h>
#include <winspool.h>

#include <mutex>
#include <system_error>
#include <optional>
#include <thread>
#include <utility>

#include "win32/print_datatype.h"
#include "win32/printer_handle.h"
#include "win32/spooler_error.h"
#include "win32/utf16.h"
#include "within_deadline.h"

// wingdi.h makes StartDoc a macro for GDI's StartDocW; here it is the
// SpoolerPrinter member.
#undef StartDoc

namespace brisakett {
namespace {

// One job's printer handle and what the spooler holds of the job, shared
// by the job's calls. For a printer connection, or a queue that prints
// straight to the printer, every call is a request to a print server
// that may stall: each runs on a thread the caller can leave behind at
// the deadline. One call at a time: a printer handle is not thread safe,
// and a call left behind must end before the next one, the abort, starts.
struct JobOnServer {
  JobOnServer(std::shared_ptr<WinspoolCalls> calls, PrinterHandle handle, std::string name)
      : winspool(std::move(calls)), printer(std::move(handle)), server(std::move(name)) {}

  std::mutex turn;
  std::shared_ptr<WinspoolCalls> winspool;
  PrinterHandle printer;
  std::string server;
  DWORD jobId = 0;
  bool documentOpen = false;
};

// What one call answered, with its GetLastError() taken on its own thread.
struct CallResult {
  bool done = false;
  DWORD error = ERROR_SUCCESS;
  DWORD count = 0;  // what the call counted: the job's number, the bytes taken
};

class Win32Printer final : public SpoolerPrinter {
public:
  Win32Printer(std::shared_ptr<JobOnServer> job, const Deadline& deadline)
      : job_(std::move(job)), server_(job_->server), deadline_(deadline) {}

  Win32Printer(const Win32Printer&) = delete;
  Win32Printer& operator=(const Win32Printer&) = delete;

  // ClosePrinter is a request to the server too: the handle is closed on
  // a thread of its own, or by the call still left behind, whichever
  // lets go of the job last.
  ~Win32Printer() override {
    try {
      std::thread([job = std::move(job_)] {}).detach();
    } catch (const std::system_error&) {
      // No thread to spare: the handle closes here.
    }
  }

  bool StartDoc(const std::string& documentName) override {
    return Call([name = WideFromUtf8(documentName)](JobOnServer& job, DWORD& count) mutable {
      std::wstring datatype =
          ChooseDatatype(OfferedDatatypes(*job.winspool, job.printer.Get(), job.server));
      DOC_INFO_1W document{};
      document.pDocName = name.data();
      document.pOutputFile = nullptr;
      document.pDatatype = datatype.data();
      job.jobId = job.winspool->StartDocPrinterW(job.printer.Get(), &document);
      job.documentOpen = job.jobId != 0;
      count = job.jobId;
      return job.jobId != 0;
    }, &jobId_);
  }

  bool StartPage() override {
    return Call([](JobOnServer& job, DWORD&) {
      return job.winspool->StartPagePrinter(job.printer.Get()) != FALSE;
    });
  }

  bool Write(std::string_view data, std::size_t& written) override {
    DWORD taken = 0;
    // The bytes are the call's own: it may outlive the caller's.
    const bool wrote = Call([bytes = std::string(data)](JobOnServer& job, DWORD& count) {
      return job.winspool->WritePrinter(job.printer.Get(), bytes.data(),
                                        static_cast<DWORD>(bytes.size()), &count) != FALSE;
    }, &taken);
    written = taken;
    return wrote;
  }

  bool EndPage() override {
    return Call([](JobOnServer& job, DWORD&) {
      return job.winspool->EndPagePrinter(job.printer.Get()) != FALSE;
    });
  }

  // A document whose end failed still counts as open, so that Abort
  // cancels what the spooler kept of it.
  bool EndDoc() override {
    return Call([](JobOnServer& job, DWORD&) {
      if (!job.winspool->EndDocPrinter(job.printer.Get())) return false;
      job.documentOpen = false;
      return true;
    });
  }

  // AbortPrinter removes the document the handle has open; a document the
  // spooler no longer counts as open (its end failed, or a call left
  // behind ended it after all) is deleted by its number. Queued behind a
  // call left behind, the abort still runs once that call returns, so the
  // job never prints after the user was told it failed.
  void Abort() override {
    WithinDeadline(Deadline(kCancelPatience), [job = job_] {
      const std::lock_guard lock(job->turn);
      const HANDLE printer = job->printer.Get();
      if (job->jobId != 0 && !(job->documentOpen && job->winspool->AbortPrinter(printer))) {
        job->winspool->SetJobW(printer, job->jobId, JOB_CONTROL_DELETE);
      }
      job->documentOpen = false;
      job->jobId = 0;
      return true;
    });
    jobId_ = 0;
  }

  int JobId() const override { return static_cast<int>(jobId_); }
  SpoolerFailure LastFailure() const override { return lastFailure_; }

private:
  // Runs `step` under the deadline; `count`, when given, receives what it
  // counted.
  template <typename Step>
  bool Call(Step step, DWORD* count = nullptr) {
    const std::optional<CallResult> result =
        WithinDeadline(deadline_, [job = job_, step = std::move(step)]() mutable {
          const std::lock_guard lock(job->turn);
          CallResult answer;
          answer.done = step(*job, answer.count);
          if (!answer.done) answer.error = GetLastError();
          return answer;
        });
    if (!result) {
      lastFailure_ = SpoolerTimedOut(server_);
      return false;
    }
    if (count) *count = result->count;
    if (!result->done) lastFailure_ = SpoolerFailureOf(result->error, server_);
    return result->done;
  }

  std::shared_ptr<JobOnServer> job_;
  std::string server_;
  Deadline deadline_;
  DWORD jobId_ = 0;
  SpoolerFailure lastFailure_;
};

}  // namespace

Win32Spooler::Win32Spooler(std::shared_ptr<WinspoolCalls> winspool)
    : winspool_(std::move(winspool)) {}

std::unique_ptr<SpoolerPrinter> Win32Spooler::Open(const std::string& deviceName,
                                                   Deadline& deadline, SpoolerFailure& failure) {
  const std::string server = PrintServerOf(deviceName);
  std::optional<PrinterOpening> opened =
      WithinDeadline(deadline, [winspool = winspool_, deviceName] {
        return OpenPrinterNamed(winspool, deviceName);
      });
  if (!opened) {
    failure = SpoolerTimedOut(server);
    return nullptr;
  }
  if (!opened->printer) {
    failure = SpoolerFailureOf(opened->error, server);
    return nullptr;
  }
  return std::make_unique<Win32Printer>(
      std::make_shared<JobOnServer>(winspool_, std::move(opened->printer), server), deadline);
}

}  // namespace brisakett
