#include "win32/winspool_calls.h"

namespace brisakett {

BOOL WinspoolCalls::OpenPrinter2W(LPCWSTR name, HANDLE* printer, PRINTER_OPTIONS* options) {
  return ::OpenPrinter2W(name, printer, nullptr, options);
}

BOOL WinspoolCalls::ClosePrinter(HANDLE printer) { return ::ClosePrinter(printer); }

DWORD WinspoolCalls::StartDocPrinterW(HANDLE printer, DOC_INFO_1W* document) {
  return ::StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(document));
}

BOOL WinspoolCalls::StartPagePrinter(HANDLE printer) { return ::StartPagePrinter(printer); }

BOOL WinspoolCalls::WritePrinter(HANDLE printer, const void* data, DWORD size, DWORD* written) {
  return ::WritePrinter(printer, const_cast<void*>(data), size, written);
}

BOOL WinspoolCalls::EndPagePrinter(HANDLE printer) { return ::EndPagePrinter(printer); }

BOOL WinspoolCalls::EndDocPrinter(HANDLE printer) { return ::EndDocPrinter(printer); }

BOOL WinspoolCalls::AbortPrinter(HANDLE printer) { return ::AbortPrinter(printer); }

BOOL WinspoolCalls::SetJobW(HANDLE printer, DWORD jobId, DWORD command) {
  return ::SetJobW(printer, jobId, 0, nullptr, command);
}

BOOL WinspoolCalls::GetPrinterW(HANDLE printer, DWORD level, BYTE* buffer, DWORD size,
                                DWORD* needed) {
  return ::GetPrinterW(printer, level, buffer, size, needed);
}

BOOL WinspoolCalls::GetJobW(HANDLE printer, DWORD jobId, DWORD level, BYTE* buffer, DWORD size,
                            DWORD* needed) {
  return ::GetJobW(printer, jobId, level, buffer, size, needed);
}

BOOL WinspoolCalls::EnumPrintProcessorDatatypesW(LPWSTR server, LPWSTR processor, BYTE* buffer,
                                                 DWORD size, DWORD* needed, DWORD* count) {
  return ::EnumPrintProcessorDatatypesW(server, processor, 1, buffer, size, needed, count);
}

HANDLE WinspoolCalls::FindFirstPrinterChangeNotification(HANDLE printer, DWORD filter,
                                                         PRINTER_NOTIFY_OPTIONS* options) {
  return ::FindFirstPrinterChangeNotification(printer, filter, 0, options);
}

BOOL WinspoolCalls::FindNextPrinterChangeNotification(HANDLE change, DWORD* cause,
                                                      PRINTER_NOTIFY_OPTIONS* options,
                                                      void** info) {
  return ::FindNextPrinterChangeNotification(change, cause, options, info);
}

BOOL WinspoolCalls::FreePrinterNotifyInfo(PRINTER_NOTIFY_INFO* info) {
  return ::FreePrinterNotifyInfo(info);
}

BOOL WinspoolCalls::FindClosePrinterChangeNotification(HANDLE change) {
  return ::FindClosePrinterChangeNotification(change);
}

bool WinspoolCalls::ChangeSignalled(HANDLE change) {
  return WaitForSingleObject(change, 0) == WAIT_OBJECT_0;
}

std::shared_ptr<WinspoolCalls> SystemWinspool() { return std::make_shared<WinspoolCalls>(); }

}  // namespace brisakett
