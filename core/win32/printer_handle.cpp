#include "win32/printer_handle.h"

#include <winspool.h>

#include "win32/utf16.h"

namespace brisakett {

PrinterHandle::~PrinterHandle() {
  if (handle_) ClosePrinter(handle_);
}

PrinterOpening OpenPrinterNamed(const std::string& deviceName) {
  std::wstring name = WideFromUtf8(deviceName);
  HANDLE handle = nullptr;
  if (!OpenPrinterW(name.data(), &handle, nullptr)) return {PrinterHandle(), GetLastError()};
  return {PrinterHandle(handle), ERROR_SUCCESS};
}

}  // namespace brisakett
