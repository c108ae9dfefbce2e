#pragma once

#include <atomic>

namespace brisakett {

// Ctrl-C, Ctrl-Break and closing the console window end a run as its time
// running out would: every printer is reported, and --cancel-on-timeout
// cancels. One per program, made at its start.
class Win32ConsoleStop {
public:
  Win32ConsoleStop();
  Win32ConsoleStop(const Win32ConsoleStop&) = delete;
  Win32ConsoleStop& operator=(const Win32ConsoleStop&) = delete;

  // Set once a stop was asked for.
  const std::atomic<bool>* Asked() const;
  // The run has written its report: a closing console may end the process.
  void RunOver();
};

}  // namespace brisakett
