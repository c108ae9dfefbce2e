#include "private_snmpd.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "child_process.h"

namespace brisakett::testing {
namespace {

using namespace std::chrono_literals;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The pass script: `-g OID` prints OID, type and value; anything else
// (getnext, set) nothing, which snmpd answers as "no such name".
std::string Script(SimulatedPrinter printer, const std::string& folder, int warmUpSeconds) {
  std::string values;
  switch (printer) {
    case SimulatedPrinter::WarmsUpAfterJob:
      values = "device=2; printer=1; errors='00 00'\n"
               "if [ -e " + folder + "/job ]; then\n"
               "  age=$(( $(date +%s) - $(stat -c %Y " + folder + "/job) ))\n"
               "  if [ \"$age\" -lt " + std::to_string(warmUpSeconds) +
               " ]; then printer=5; else printer=3; fi\n"
               "fi\n";
      break;
    case SimulatedPrinter::DoorOpen:
      values = "device=3; printer=3; errors='08 00'\n";
      break;
    case SimulatedPrinter::WarmsUpForever:
      values = "device=2; printer=5; errors='00 00'\n";
      break;
  }
  return "#!/bin/sh\n[ \"$1\" = -g ] || exit 0\n" + values +
         "case \"$2\" in\n"
         "  .1.3.6.1.2.1.25.3.2.1.5.1) printf '%s\\ninteger\\n%s\\n' \"$2\" \"$device\" ;;\n"
         "  .1.3.6.1.2.1.25.3.5.1.1.1) printf '%s\\ninteger\\n%s\\n' \"$2\" \"$printer\" ;;\n"
         "  .1.3.6.1.2.1.25.3.5.1.2.1) printf '%s\\noctet\\n%s\\n' \"$2\" \"$errors\" ;;\n"
         "esac\n";
}

}  // namespace

std::unique_ptr<PrivateSnmpd> PrivateSnmpd::Start(const std::vector<std::string>& addresses,
                                                  SimulatedPrinter printer, std::string* why,
                                                  int warmUpSeconds) {
  std::string listen;
  for (const std::string& address : addresses) {
    listen += (listen.empty() ? "udp:" : ",udp:") + address + ":161";
  }
  const std::string snmpd = FindProgram("snmpd");
  if (snmpd.empty()) {
    if (why) *why = "snmpd is not installed";
    return nullptr;
  }
  std::string pattern = (std::filesystem::temp_directory_path() / "brisakett-snmpd-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    if (why) *why = "cannot make a folder for snmpd";
    return nullptr;
  }
  std::unique_ptr<PrivateSnmpd> agent(new PrivateSnmpd);
  agent->folder_ = pattern;
  const std::string& folder = agent->folder_;
  std::ofstream(folder + "/printer.sh") << Script(printer, folder, warmUpSeconds);
  std::ofstream(folder + "/snmpd.conf")
      << "agentAddress " << listen << "\n"
      << "rocommunity public 127.0.0.0/8\n"
      << "pass .1.3.6.1.2.1.25 /bin/sh " << folder << "/printer.sh\n"
      // Its saved state stays in its folder, not /var/lib/snmp.
      << "[snmp] persistentDir " << folder << "/state\n";
  // -C: only this configuration; -I: without the modules that would
  // answer hr* for this machine's own devices and printers.
  agent->pid_ = StartProgram(
      {snmpd, "-f", "-C", "-c", folder + "/snmpd.conf", "-Lf", folder + "/log", "-p",
       folder + "/pid", "-I",
       "-hr_system,hr_storage,hr_device,hr_other,hr_proc,hr_network,hr_print,hr_disk,"
       "hr_partition,hr_filesys,hr_swrun,hr_swinst"},
      folder + "/output");
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (agent->pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(agent->pid_, &status, WNOHANG) == agent->pid_) {
      agent->pid_ = -1;
      break;
    }
    // snmpd writes its pid once its ports are open.
    if (std::filesystem::exists(folder + "/pid")) return agent;
    std::this_thread::sleep_for(20ms);
  }
  if (why) {
    *why = "snmpd did not start on " + listen +
           (geteuid() != 0 ? " (port 161 needs root)" : "") + ":\n" + ReadWhole(folder + "/output") +
           ReadWhole(folder + "/log");
  }
  return nullptr;
}

PrivateSnmpd::~PrivateSnmpd() {
  if (pid_ > 0) {
    kill(pid_, SIGCONT);
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void PrivateSnmpd::JobArrived() const {
  // The first job starts the warm-up; later ones find it under way.
  const std::string stamp = folder_ + "/job";
  const int fd = open(stamp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd >= 0) close(fd);
}

void PrivateSnmpd::Rest() const {
  std::error_code ignored;
  std::filesystem::remove(folder_ + "/job", ignored);
}

void PrivateSnmpd::Freeze() const { kill(pid_, SIGSTOP); }

}  // namespace brisakett::testing
