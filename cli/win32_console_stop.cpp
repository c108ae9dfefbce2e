#include "win32_console_stop.h"

#include <windows.h>

namespace brisakett {
namespace {

// The handler runs on a thread the system starts for it; these are all it
// shares with the run.
std::atomic<bool> stopAsked{false};
HANDLE runOver = nullptr;  // a manual-reset event

// Windows ends a process whose console closes once the handler returns,
// or after the hung-application time-out (5 seconds unless changed): the
// handler waits for the run's report until shortly before that.
constexpr DWORD kCloseWait = 4500;

BOOL WINAPI OnConsoleControl(DWORD type) {
  stopAsked = true;
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && runOver) {
    WaitForSingleObject(runOver, kCloseWait);
  }
  return TRUE;
}

}  // namespace

Win32ConsoleStop::Win32ConsoleStop() {
  runOver = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

const std::atomic<bool>* Win32ConsoleStop::Asked() const { return &stopAsked; }

void Win32ConsoleStop::RunOver() {
  if (runOver) SetEvent(runOver);
}

}  // namespace brisakett
