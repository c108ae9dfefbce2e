#pragma once

#include <string>
#include <utility>

#include <windows.h>

namespace brisakett {

// An open printer (OpenPrinterW), closed when it dies: also on a thread
// left behind at a deadline, where nobody else would close it.
class PrinterHandle {
public:
  PrinterHandle() = default;
  explicit PrinterHandle(HANDLE handle) : handle_(handle) {}
  PrinterHandle(PrinterHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  PrinterHandle& operator=(PrinterHandle&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  ~PrinterHandle();

  HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

private:
  HANDLE handle_ = nullptr;
};

// The printer opened by its UTF-8 name, or why not (GetLastError()).
struct PrinterOpening {
  PrinterHandle printer;
  unsigned long error = 0;
};
PrinterOpening OpenPrinterNamed(const std::string& deviceName);

}  // namespace brisakett
