#include "scheduler_setup.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace brisakett::bench {
namespace {

namespace fs = std::filesystem;

// What lpadmin -p NAME -E -v URI -m raw leaves in printers.conf, less the
// fields the scheduler fills in itself (UUID, state times).
std::string PrinterEntry(const std::string& name, int id, const std::string& host,
                         std::uint16_t port, const std::string& ippResource, bool isDefault) {
  const char* tag = isDefault ? "DefaultPrinter" : "Printer";
  std::ostringstream entry;
  entry << '<' << tag << ' ' << name << ">\n"
        << "PrinterId " << id << "\n"
        << "Info " << name << "\n"
        << "DeviceURI " << (ippResource.empty() ? "socket" : "ipp") << "://" << host << ":" << port
        << (ippResource.empty() ? "" : "/" + ippResource) << "\n"
        << "State Idle\n"
        << "Type 4\n"
        << "Accepting Yes\n"
        << "Shared No\n"
        << "JobSheets none none\n"
        << "QuotaPeriod 0\nPageLimit 0\nKLimit 0\n"
        << "OpPolicy default\n"
        << "ErrorPolicy retry-job\n"
        << "</" << tag << ">\n";
  return entry.str();
}

}  // namespace

bool ConfigureLikeAnInstalledScheduler(const std::string& cupsdConf) {
  std::ifstream in(cupsdConf);
  if (!in) return false;
  std::string kept;
  for (std::string line; std::getline(in, line);) {
    // The test set-up's DirtyCleanInterval 0 writes printers.conf (and the
    // job files) at every change, that is at every job: with 5000 queues
    // that is a megabyte and more per job, on lp's time and ours alike.
    // An installed scheduler keeps CUPS's default and writes them later.
    if (line.rfind("DirtyCleanInterval", 0) == 0 || line.rfind("LogLevel", 0) == 0 ||
        line.rfind("AccessLogLevel", 0) == 0 || line.rfind("MaxLogSize", 0) == 0) {
      continue;
    }
    kept += line + '\n';
  }
  in.close();
  // Every request, Get-* included, one line each, in a log that is never
  // rotated, so the bench can count round trips; and the error log at the
  // level an installed scheduler has (Debian: warn), not the tests' debug,
  // whose dozens of lines per request would weigh on every figure.
  kept += "AccessLogLevel all\nMaxLogSize 0\nLogLevel warn\n";
  std::ofstream out(cupsdConf, std::ios::trunc);
  out << kept;
  return static_cast<bool>(out);
}

bool RestartLikeAnInstalledScheduler(testing::PrivateCupsd& cupsd, std::string* why) {
  cupsd.Stop();
  if (!ConfigureLikeAnInstalledScheduler(cupsd.Folder() + "/conf/cupsd.conf")) {
    if (why) *why = "cannot rewrite " + cupsd.Folder() + "/conf/cupsd.conf";
    return false;
  }
  return cupsd.Restart(why);
}

bool RestartWithQueues(testing::PrivateCupsd& cupsd, int count, std::uint16_t port,
                       std::string* why, const std::function<std::string(int)>& hostOf,
                       const std::string& ippResource) {
  cupsd.Stop();
  const fs::path conf = fs::path(cupsd.Folder()) / "conf";
  std::ofstream printers(conf / "printers.conf", std::ios::trunc);
  printers << "NextPrinterId " << count + 1 << "\n";
  for (int number = 1; number <= count; ++number) {
    printers << PrinterEntry(BenchQueueName(number), number, hostOf ? hostOf(number) : "127.0.0.1",
                             port, ippResource, number == count);
  }
  printers.close();
  if (!printers || !ConfigureLikeAnInstalledScheduler((conf / "cupsd.conf").string())) {
    if (why) *why = "cannot write the scheduler's configuration in " + conf.string();
    return false;
  }
  return cupsd.Restart(why);
}

}  // namespace brisakett::bench
