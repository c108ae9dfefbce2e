#include "win32/printer_handle.h"

#include <winspool.h>

#include "win32/utf16.h"

namespace brisakett {
namespace {

// PRINTER_OPTION_NO_CACHE as Windows' own winspool.h defines it (1 << 0);
// MinGW-w64's header declares the enumeration without values, making it 0,
// which asks for nothing.
constexpr DWORD kNoCache = 0x1;

}  // namespace

PrinterHandle::~PrinterHandle() {
  if (handle_) winspool_->ClosePrinter(handle_);
}

PrinterOpening OpenPrinterNamed(const std::shared_ptr<WinspoolCalls>& winspool,
                                const std::string& deviceName) {
  const std::wstring name = WideFromUtf8(deviceName);
  PRINTER_OPTIONS options{};
  options.cbSize = sizeof options;
  options.dwFlags = kNoCache;
  HANDLE handle = nullptr;
  if (!winspool->OpenPrinter2W(name.empty() ? nullptr : name.c_str(), &handle, &options)) {
    return {PrinterHandle(), GetLastError()};
  }
  return {PrinterHandle(winspool, handle), ERROR_SUCCESS};
}

}  // namespace brisakett
