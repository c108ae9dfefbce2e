#pragma once

#include <memory>

#include <windows.h>
#include <winspool.h>

namespace brisakett {

// The winspool functions the program calls, each as winspool itself: the
// one place through which the spooler is reached, so that a test can put
// a spooler in its place for what Wine's cannot do (block in a call, fail
// a listed printer's name, discard notifications), overriding only those
// calls and leaving the others to the real spooler.
class WinspoolCalls {
public:
  virtual ~WinspoolCalls() = default;

  // pDefault is always null: the program asks with the user's own rights.
  virtual BOOL OpenPrinter2W(LPCWSTR name, HANDLE* printer, PRINTER_OPTIONS* options);
  virtual BOOL ClosePrinter(HANDLE printer);
  virtual DWORD StartDocPrinterW(HANDLE printer, DOC_INFO_1W* document);
  virtual BOOL StartPagePrinter(HANDLE printer);
  virtual BOOL WritePrinter(HANDLE printer, const void* data, DWORD size, DWORD* written);
  virtual BOOL EndPagePrinter(HANDLE printer);
  virtual BOOL EndDocPrinter(HANDLE printer);
  virtual BOOL AbortPrinter(HANDLE printer);
  virtual BOOL SetJobW(HANDLE printer, DWORD jobId, DWORD command);
  virtual BOOL GetPrinterW(HANDLE printer, DWORD level, BYTE* buffer, DWORD size, DWORD* needed);
  virtual BOOL GetJobW(HANDLE printer, DWORD jobId, DWORD level, BYTE* buffer, DWORD size,
                       DWORD* needed);
  virtual BOOL EnumPrintProcessorDatatypesW(LPWSTR server, LPWSTR processor, BYTE* buffer,
                                            DWORD size, DWORD* needed, DWORD* count);
  virtual HANDLE FindFirstPrinterChangeNotification(HANDLE printer, DWORD filter,
                                                    PRINTER_NOTIFY_OPTIONS* options);
  virtual BOOL FindNextPrinterChangeNotification(HANDLE change, DWORD* cause,
                                                 PRINTER_NOTIFY_OPTIONS* options, void** info);
  virtual BOOL FreePrinterNotifyInfo(PRINTER_NOTIFY_INFO* info);
  virtual BOOL FindClosePrinterChangeNotification(HANDLE change);
  // Whether the change notification object is signalled, without waiting.
  virtual bool ChangeSignalled(HANDLE change);
};

// The spooler of this computer. Shared: calls left behind at a deadline
// keep it alive.
std::shared_ptr<WinspoolCalls> SystemWinspool();

}  // namespace brisakett
