#include <iostream>
#include <string>
#include <vector>

#include "send_command.h"
#include "system_printing.h"

#ifdef _WIN32
#include "win32/utf16.h"
#include "win32_console_buffer.h"

#include <windows.h>

// The wide entry point: printer names reach the program whole, not as the
// ANSI code page's approximation of them.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(brisakett::Utf8FromWide(argv[i]));

  brisakett::Win32ConsoleBuffer outBuffer(STD_OUTPUT_HANDLE);
  brisakett::Win32ConsoleBuffer errBuffer(STD_ERROR_HANDLE);
  std::ostream out(&outBuffer);
  std::ostream err(&errBuffer);

  const auto printers = brisakett::MakeSystemPrinterCatalog();
  const auto spooler = brisakett::MakeSystemSpooler();
  const auto watcher = brisakett::MakeSystemJobWatcher();
  const int status =
      brisakett::RunSendCommand(arguments, *printers, *spooler, *watcher, out, err);
  out.flush();
  err.flush();
  return status;
}
#else
int main(int argc, char** argv) {
  const auto printers = brisakett::MakeSystemPrinterCatalog();
  const auto spooler = brisakett::MakeSystemSpooler();
  const auto watcher = brisakett::MakeSystemJobWatcher();
  return brisakett::RunSendCommand({argv + 1, argv + argc}, *printers, *spooler, *watcher,
                                   std::cout, std::cerr);
}
#endif
