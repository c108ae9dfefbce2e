#include "win32/process_end.h"

#include <windows.h>

namespace brisakett {

void EndProcessNow(int status) {
  const HANDLE self = GetCurrentProcess();
  // Termination is asynchronous: this thread waits for it to come.
  if (TerminateProcess(self, static_cast<UINT>(status))) WaitForSingleObject(self, INFINITE);
  ExitProcess(static_cast<UINT>(status));
}

}  // namespace brisakett
