#pragma once

#include <memory>
#include <string>
#include <utility>

#include <windows.h>

#include "win32/winspool_calls.h"

namespace brisakett {

// An open printer, closed when it dies: also on a thread left behind at a
// deadline, where nobody else would close it.
class PrinterHandle {
public:
  PrinterHandle() = default;
  PrinterHandle(std::shared_ptr<WinspoolCalls> winspool, HANDLE handle)
      : winspool_(std::move(winspool)), handle_(handle) {}
  PrinterHandle(PrinterHandle&& other) noexcept
      : winspool_(std::move(other.winspool_)), handle_(std::exchange(other.handle_, nullptr)) {}
  PrinterHandle& operator=(PrinterHandle&& other) noexcept {
    std::swap(winspool_, other.winspool_);
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~PrinterHandle();

  HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

private:
  std::shared_ptr<WinspoolCalls> winspool_;
  HANDLE handle_ = nullptr;
};

// The printer opened by its UTF-8 name (this computer's print server for
// an empty name), or why not (GetLastError()). The handle asks the print
// server itself on every call, never the spooler's local copy of a
// connection's printer, which is not kept up to date.
struct PrinterOpening {
  PrinterHandle printer;
  unsigned long error = 0;
};
PrinterOpening OpenPrinterNamed(const std::shared_ptr<WinspoolCalls>& winspool,
                                const std::string& deviceName);

}  // namespace brisakett
