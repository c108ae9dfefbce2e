#include "ipp_printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "child_process.h"
#include "loopback_socket.h"
#include "private_cupsd.h"

namespace brisakett::testing {
namespace {

bool Listens(std::uint16_t port) {
  const int fd = ConnectToLoopback(port);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

bool Within(std::chrono::seconds patience, const std::function<bool()>& ready) {
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

void End(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

}  // namespace

std::unique_ptr<IppPrinter> IppPrinter::Start(const std::string& formats, std::string* why) {
  const std::string program = FindProgram("ippeveprinter");
  const std::string busDaemon = FindProgram("dbus-daemon");
  if (program.empty() || busDaemon.empty()) {
    if (why) *why = "ippeveprinter or dbus-daemon is not installed (cups-ipp-utils, dbus-daemon)";
    return nullptr;
  }
  std::unique_ptr<IppPrinter> printer(new IppPrinter());
  const std::string folder = printer->folder_.path().string();
  const std::string log = folder + "/log";

  // ippeveprinter will not start without D-Bus for its DNS-SD. A bus of
  // its own, where no avahi-daemon listens, lets it start and announce
  // nothing on the network.
  const std::string bus = folder + "/bus";
  printer->bus_ = StartProgram({busDaemon, "--session", "--nofork", "--address=unix:path=" + bus}, log);
  if (printer->bus_ < 0 || !Within(std::chrono::seconds(10), [&] {
        return std::filesystem::exists(bus);
      })) {
    if (why) *why = "dbus-daemon did not start: " + ReadFile(log);
    return nullptr;
  }

  // -n localhost: it listens on the loopback addresses only.
  printer->port_ = FreeLoopbackPort();
  std::filesystem::create_directories(folder + "/spool");
  printer->printer_ = StartProgram(
      {FindProgram("env"), "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + bus, program, "-r", "off", "-n",
       "localhost", "-p", std::to_string(printer->port_), "-f", formats, "-d", folder + "/spool",
       "-v", "Refusing"},
      log);
  if (printer->printer_ < 0 ||
      !Within(std::chrono::seconds(10), [&] { return Listens(printer->port_); })) {
    if (why) *why = "ippeveprinter did not start: " + ReadFile(log);
    return nullptr;
  }
  return printer;
}

IppPrinter::~IppPrinter() {
  End(printer_);
  End(bus_);
}

}  // namespace brisakett::testing
