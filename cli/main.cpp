#include <string>
#include <vector>

#include "send_command.h"
#include "system_printing.h"

#ifdef _WIN32
#include "system_device_status.h"
#include "win32/process_end.h"
#include "win32/utf16.h"
#include "win32_console_output.h"
#include "win32_console_stop.h"

#include <windows.h>

// The wide entry point: printer names reach the program whole, not as the
// ANSI code page's approximation of them.
int wmain(int argc, wchar_t** argv) {
  brisakett::Win32ConsoleStop stop;
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(brisakett::Utf8FromWide(argv[i]));

  brisakett::Win32ConsoleOutput out(STD_OUTPUT_HANDLE);
  brisakett::Win32ConsoleOutput err(STD_ERROR_HANDLE);

  brisakett::SpoolerLogin login;
  const auto printers = brisakett::MakeSystemPrinterCatalog(login);
  const auto spooler = brisakett::MakeSystemSpooler(login);
  const auto watcher = brisakett::MakeSystemJobWatcher(login);
  const auto locator = brisakett::MakeSystemDeviceLocator(login);
  const auto deviceStatus = brisakett::MakeSystemDeviceStatusSource();
  const int status = brisakett::RunSendCommand(arguments, login, *printers, *spooler, *watcher, out,
                                               err, stop.Asked(), locator.get(), deviceStatus.get());
  stop.RunOver();
  // Calls left behind at a deadline may still wait on a print server.
  brisakett::EndProcessNow(status);
}
#else
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "file_descriptor_output.h"
#include "run_passwords.h"
#include "system_device_status.h"
#include "terminal_password_prompt.h"

namespace {

std::atomic<bool> stopAsked{false};

void AskToStop(int) { stopAsked = true; }

}  // namespace

int main(int argc, char** argv) {
  // A print server that goes away mid-request must be a failure to report,
  // not a SIGPIPE that ends the program without a word.
  std::signal(SIGPIPE, SIG_IGN);
  // `systemctl stop` or Ctrl-C ends a run as its time running out would:
  // every printer is reported, and --cancel-on-timeout cancels; a password
  // prompt waiting for its line gives up and puts the terminal's echo back.
  static_assert(std::atomic<bool>::is_always_lock_free);
  struct sigaction stop {};
  stop.sa_handler = &AskToStop;
  stop.sa_flags = SA_RESTART;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
  brisakett::TerminalPasswordPrompt terminal(&stopAsked);
  // Asked once per print server for the whole run, however many printers.
  brisakett::RunPasswords passwords(&terminal);
  brisakett::SpoolerLogin login;
  if (brisakett::TerminalPasswordPrompt::Available()) login.prompt = &passwords;
  const auto printers = brisakett::MakeSystemPrinterCatalog(login);
  const auto spooler = brisakett::MakeSystemSpooler(login);
  const auto watcher = brisakett::MakeSystemJobWatcher(login);
  const auto locator = brisakett::MakeSystemDeviceLocator(login);
  const auto deviceStatus = brisakett::MakeSystemDeviceStatusSource();
  brisakett::FileDescriptorOutput out(STDOUT_FILENO);
  brisakett::FileDescriptorOutput err(STDERR_FILENO);
  const brisakett::MakeServerParts server = [](const brisakett::SpoolerLogin& named) {
    return brisakett::ServerParts{brisakett::MakeSystemPrinterCatalog(named), brisakett::MakeSystemSpooler(named),
                                  brisakett::MakeSystemJobWatcher(named), brisakett::MakeSystemDeviceLocator(named)};
  };
  return brisakett::RunSendCommand({argv + 1, argv + argc}, login, *printers, *spooler, *watcher,
                                   out, err, &stopAsked, locator.get(), deviceStatus.get(), server);
}
#endif
