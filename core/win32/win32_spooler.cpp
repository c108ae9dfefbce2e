#include "win32/win32_spooler.h"

#include <windows.h>
#include <winspool.h>

#include <optional>
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

class Win32Printer final : public SpoolerPrinter {
public:
  Win32Printer(PrinterHandle printer, std::string server)
      : printer_(std::move(printer)), handle_(printer_.Get()), server_(std::move(server)) {}

  Win32Printer(const Win32Printer&) = delete;
  Win32Printer& operator=(const Win32Printer&) = delete;

  bool StartDoc(const std::string& documentName) override {
    std::wstring name = WideFromUtf8(documentName);
    std::wstring datatype = ChooseDatatype(OfferedDatatypes(handle_));
    DOC_INFO_1W document{};
    document.pDocName = name.data();
    document.pOutputFile = nullptr;
    document.pDatatype = datatype.data();
    jobId_ = StartDocPrinterW(handle_, 1, reinterpret_cast<LPBYTE>(&document));
    if (jobId_ == 0) return Failed();
    documentOpen_ = true;
    return true;
  }

  bool StartPage() override { return StartPagePrinter(handle_) || Failed(); }

  bool Write(std::string_view data, std::size_t& written) override {
    DWORD taken = 0;
    const BOOL wrote = WritePrinter(handle_, const_cast<char*>(data.data()),
                                    static_cast<DWORD>(data.size()), &taken);
    written = taken;
    return wrote || Failed();
  }

  bool EndPage() override { return EndPagePrinter(handle_) || Failed(); }

  // A document whose end failed still counts as open, so that Abort
  // cancels what the spooler kept of it.
  bool EndDoc() override {
    if (!EndDocPrinter(handle_)) return Failed();
    documentOpen_ = false;
    return true;
  }

  // AbortPrinter removes the document the handle has open; after a failed
  // EndDocPrinter the spooler may no longer count one as open, so the job
  // is then deleted by its number.
  void Abort() override {
    if (documentOpen_ && !AbortPrinter(handle_) && jobId_ != 0) {
      SetJobW(handle_, jobId_, 0, nullptr, JOB_CONTROL_DELETE);
    }
    documentOpen_ = false;
    jobId_ = 0;
  }

  int JobId() const override { return static_cast<int>(jobId_); }
  SpoolerFailure LastFailure() const override { return lastFailure_; }

private:
  // Reads the reason at once, before another call can overwrite it.
  bool Failed() {
    lastFailure_ = SpoolerFailureOf(GetLastError(), server_);
    return false;
  }

  PrinterHandle printer_;
  HANDLE handle_;
  std::string server_;
  DWORD jobId_ = 0;
  bool documentOpen_ = false;
  SpoolerFailure lastFailure_;
};

}  // namespace

// Opening a printer connection asks its print server, which may be down
// or silent; the deadline bounds the wait. The writing that follows goes to
// the local spooler's copy of the job and is left direct.
std::unique_ptr<SpoolerPrinter> Win32Spooler::Open(const std::string& deviceName,
                                                   Deadline& deadline, SpoolerFailure& failure) {
  const std::string server = PrintServerOf(deviceName);
  std::optional<PrinterOpening> opened =
      WithinDeadline(deadline, [deviceName] { return OpenPrinterNamed(deviceName); });
  if (!opened) {
    failure = SpoolerTimedOut(server);
    return nullptr;
  }
  if (!opened->printer) {
    failure = SpoolerFailureOf(opened->error, server);
    return nullptr;
  }
  return std::make_unique<Win32Printer>(std::move(opened->printer), server);
}

}  // namespace brisakett
