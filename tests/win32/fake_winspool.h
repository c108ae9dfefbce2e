#pragma once

// A print spooler for what Wine's cannot do, behind the winspool seam: a
// print server that stalls inside a call, one that no longer takes a
// listed printer's name, and change notifications, discarded ones too
// (Wine's are a stub). Every printer opens, to a handle of its own; jobs
// and notifications are what the test scripts.

#include <windows.h>
#include <winspool.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "win32/winspool_calls.h"

namespace brisakett::testing {

class FakeWinspool final : public WinspoolCalls {
public:
  // One FindNextPrinterChangeNotification's answer.
  struct Reply {
    DWORD flags = 0;
    std::vector<std::pair<DWORD, DWORD>> jobStatuses;  // job id, JOB_STATUS_*
  };
  static constexpr DWORD kGone = 0xffffffff;  // GetJobW: the spooler no longer has the job

  // Printer names whose opening fails with that error.
  std::map<std::wstring, DWORD> openFails;
  // WritePrinter waits for Release().
  bool writeStalls = false;
  // Each job's statuses, one per GetJobW; the last one stays.
  std::map<DWORD, std::deque<DWORD>> jobStatuses;
  // Notifications that come out of reading a job: it ends as it is read.
  std::map<DWORD, Reply> onRead;
  // What the spooler has to announce; the change object is signalled while
  // any is waiting, except a refresh's answer, which only a refresh takes.
  std::deque<Reply> announced;
  std::deque<Reply> refreshes;

  void Release() {
    const std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  // The calls made, in order, each as its name and the number or name it
  // was given.
  std::vector<std::string> Calls() {
    const std::lock_guard lock(mutex_);
    return calls_;
  }

  BOOL OpenPrinter2W(LPCWSTR name, HANDLE* printer, PRINTER_OPTIONS* options) override {
    const std::wstring asked = name ? name : L"";
    Record("open", std::string(asked.begin(), asked.end()) +
                       (options && (options->dwFlags & 1) ? " uncached" : ""));
    if (const auto fails = openFails.find(asked); fails != openFails.end()) {
      SetLastError(fails->second);
      return FALSE;
    }
    *printer = reinterpret_cast<HANDLE>(++handles_);
    return TRUE;
  }
  BOOL ClosePrinter(HANDLE) override { return Record("close"); }
  DWORD StartDocPrinterW(HANDLE, DOC_INFO_1W* document) override {
    Record("startdoc", Narrow(document->pDatatype));
    return 41;
  }
  BOOL StartPagePrinter(HANDLE) override { return Record("startpage"); }
  BOOL WritePrinter(HANDLE, const void*, DWORD size, DWORD* written) override {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !writeStalls || released_; });
    calls_.push_back("write");
    *written = size;
    return TRUE;
  }
  BOOL EndPagePrinter(HANDLE) override { return Record("endpage"); }
  BOOL EndDocPrinter(HANDLE) override { return Record("enddoc"); }
  BOOL AbortPrinter(HANDLE) override { return Record("abort"); }
  BOOL SetJobW(HANDLE, DWORD jobId, DWORD) override {
    Record("deletejob", std::to_string(jobId));
    SetLastError(ERROR_INVALID_PARAMETER);  // as for a job the spooler no longer has
    return FALSE;
  }
  // The printer's record names its print processor; its status is 0.
  BOOL GetPrinterW(HANDLE, DWORD, BYTE* buffer, DWORD size, DWORD* needed) override {
    static const wchar_t kProcessor[] = L"winprint";
    *needed = sizeof(PRINTER_INFO_2W) + sizeof kProcessor;
    if (size < *needed) return Failed(ERROR_INSUFFICIENT_BUFFER);
    std::memset(buffer, 0, *needed);
    std::memcpy(buffer + sizeof(PRINTER_INFO_2W), kProcessor, sizeof kProcessor);
    reinterpret_cast<PRINTER_INFO_2W*>(buffer)->pPrintProcessor =
        reinterpret_cast<LPWSTR>(buffer + sizeof(PRINTER_INFO_2W));
    return TRUE;
  }
  BOOL GetJobW(HANDLE, DWORD jobId, DWORD, BYTE* buffer, DWORD size, DWORD* needed) override {
    std::deque<DWORD>& statuses = jobStatuses[jobId];
    const DWORD status = statuses.empty() ? kGone : statuses.front();
    if (status == kGone) {
      if (const auto ends = onRead.find(jobId); ends != onRead.end()) {
        announced.push_back(ends->second);
        onRead.erase(ends);
      }
      return Failed(ERROR_INVALID_PARAMETER);
    }
    *needed = sizeof(JOB_INFO_2W);
    if (size < *needed) return Failed(ERROR_INSUFFICIENT_BUFFER);
    if (statuses.size() > 1) statuses.pop_front();
    std::memset(buffer, 0, *needed);
    reinterpret_cast<JOB_INFO_2W*>(buffer)->Status = status;
    return TRUE;
  }
  BOOL EnumPrintProcessorDatatypesW(LPWSTR server, LPWSTR, BYTE*, DWORD, DWORD* needed,
                                    DWORD* count) override {
    Record("datatypes", server ? Narrow(server) : "this computer");
    *needed = *count = 0;
    return Failed(ERROR_NOT_SUPPORTED);
  }
  HANDLE FindFirstPrinterChangeNotification(HANDLE, DWORD, PRINTER_NOTIFY_OPTIONS*) override {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  BOOL FindNextPrinterChangeNotification(HANDLE, DWORD*, PRINTER_NOTIFY_OPTIONS* options,
                                         void** info) override {
    const bool refresh = options && (options->Flags & PRINTER_NOTIFY_OPTIONS_REFRESH);
    Record(refresh ? "refresh" : "next");
    std::deque<Reply>& from = refresh ? refreshes : announced;
    const Reply reply = from.empty() ? Reply{} : from.front();
    if (!from.empty()) from.pop_front();
    *info = Allocated(reply);
    return TRUE;
  }
  BOOL FreePrinterNotifyInfo(PRINTER_NOTIFY_INFO* info) override {
    delete[] reinterpret_cast<BYTE*>(info);
    return TRUE;
  }
  BOOL FindClosePrinterChangeNotification(HANDLE change) override { return CloseHandle(change); }
  bool ChangeSignalled(HANDLE) override { return !announced.empty(); }

private:
  static std::string Narrow(const wchar_t* text) {
    const std::wstring wide = text ? text : L"";
    return {wide.begin(), wide.end()};
  }
  static BOOL Failed(DWORD error) {
    SetLastError(error);
    return FALSE;
  }
  BOOL Record(const std::string& call, const std::string& with = {}) {
    const std::lock_guard lock(mutex_);
    calls_.push_back(with.empty() ? call : call + " " + with);
    return TRUE;
  }
  static PRINTER_NOTIFY_INFO* Allocated(const Reply& reply) {
    const std::size_t count = reply.jobStatuses.size();
    const std::size_t size = sizeof(PRINTER_NOTIFY_INFO) + count * sizeof(PRINTER_NOTIFY_INFO_DATA);
    auto* bytes = new BYTE[size]();
    auto* info = reinterpret_cast<PRINTER_NOTIFY_INFO*>(bytes);
    info->Version = 2;
    info->Flags = reply.flags;
    info->Count = static_cast<DWORD>(count);
    for (std::size_t i = 0; i < count; ++i) {
      PRINTER_NOTIFY_INFO_DATA& data = info->aData[i];
      data.Type = JOB_NOTIFY_TYPE;
      data.Field = JOB_NOTIFY_FIELD_STATUS;
      data.Id = reply.jobStatuses[i].first;
      data.NotifyData.adwData[0] = reply.jobStatuses[i].second;
    }
    return info;
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool released_ = false;
  std::vector<std::string> calls_;
  std::uintptr_t handles_ = 0x5150;
};

}  // namespace brisakett::testing
