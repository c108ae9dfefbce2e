#include "private_snmpd.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
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

// The printer, as a pass_persist script: one bash process that answers
// snmpd's questions on its standard input, with builtins only, so that a
// few agents keep up with hundreds of printers asked at once (a `pass`
// script forks a shell, and here `date` and `stat`, for every value).
// "get OID" is answered with OID, type and value, and "getnext" of
// hrPrinterStatus's column with the printer's row; anything else with
// NONE, which snmpd answers as "no such name". JobArrived writes the time
// of the first job into `job`.
std::string Script(SimulatedPrinter printer, const std::string& folder, const AgentOptions& options) {
  std::string values;
  switch (printer) {
    case SimulatedPrinter::WarmsUpAfterJob:
      values = "    device=2; printer=1; errors='00 00'\n"
               "    if [ -e " + folder + "/job ]; then\n"
               "      since=; read -r since < " + folder + "/job\n"
               "      printf -v now '%(%s)T' -1\n"
               "      if [ -z \"$since\" ] || (( now - since < " + std::to_string(options.warmUpSeconds) +
               " )); then device=5; printer=5; else printer=3; fi\n"
               "    fi\n";
      break;
    case SimulatedPrinter::DoorOpen:
      values = "    device=3; printer=3; errors='08 00'\n";
      break;
    case SimulatedPrinter::WarmsUpForever:
      values = "    device=2; printer=5; errors='00 00'\n";
      break;
    case SimulatedPrinter::ServiceReminder:
      values = "    device=3; printer=3; errors='01 00'\n";
      break;
  }
  const std::string row = std::to_string(options.row);
  return "#!/bin/bash\n"
         "while read -r command; do\n"
         "  case \"$command\" in\n"
         "    PING) echo PONG; continue ;;\n"
         "    get) read -r oid ;;\n"
         "    getnext) read -r oid ;;\n"
         "    set) read -r oid; read -r value; echo not-writable; continue ;;\n"
         "    *) continue ;;\n"
         "  esac\n" +
         values +
         "  if [ \"$command\" = getnext ]; then\n"
         "    if [ \"$oid\" = .1.3.6.1.2.1.25.3.5.1.1 ]; then oid=$oid." + row + "; else oid=none; fi\n"
         "  fi\n"
         "  case \"$oid\" in\n"
         "    .1.3.6.1.2.1.25.3.2.1.5." + row + ") printf '%s\\ninteger\\n%s\\n' \"$oid\" \"$device\" ;;\n"
         "    .1.3.6.1.2.1.25.3.5.1.1." + row + ") printf '%s\\ninteger\\n%s\\n' \"$oid\" \"$printer\" ;;\n"
         "    .1.3.6.1.2.1.25.3.5.1.2." + row + ") printf '%s\\noctet\\n%s\\n' \"$oid\" \"$errors\" ;;\n"
         "    *) echo NONE ;;\n"
         "  esac\n"
         "done\n";
}

}  // namespace

std::unique_ptr<PrivateSnmpd> PrivateSnmpd::Start(const std::vector<std::string>& addresses,
                                                  SimulatedPrinter printer, std::string* why,
                                                  AgentOptions options) {
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
  std::ofstream(folder + "/printer.sh") << Script(printer, folder, options);
  // rocommunity takes v1 and v2c alike; a group of the v2c model alone
  // takes v2c only.
  const std::string access =
      options.v2cOnly ? "com2sec printers 127.0.0.0/8 public\n"
                        "group printers v2c printers\n"
                        "view everything included .1\n"
                        "access printers \"\" v2c noauth exact everything none none\n"
                      : "rocommunity public 127.0.0.0/8\n";
  std::ofstream(folder + "/snmpd.conf")
      << "agentAddress " << listen << "\n"
      << access
      << "pass_persist .1.3.6.1.2.1.25 /bin/bash " << folder << "/printer.sh\n"
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
  if (fd < 0) return;
  const std::string now = std::to_string(std::time(nullptr)) + "\n";
  [[maybe_unused]] const ssize_t written = write(fd, now.data(), now.size());
  close(fd);
}

void PrivateSnmpd::Rest() const {
  std::error_code ignored;
  std::filesystem::remove(folder_ + "/job", ignored);
}

void PrivateSnmpd::Freeze() const { kill(pid_, SIGSTOP); }

}  // namespace brisakett::testing
