#include "private_cupsd.h"

#include "temp_folder.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "child_process.h"

namespace brisakett::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

bool WriteFile(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

std::string LastLines(const std::string& text, std::size_t count) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::string last;
  for (std::size_t i = lines.size() > count ? lines.size() - count : 0; i < lines.size(); ++i) {
    last += lines[i] + "\n";
  }
  return last;
}

bool SocketAnswers(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const bool answers = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return answers;
}

// The default policy asking a valid user's password for `operations`
// (IPP operation names) and for nothing else.
std::string PasswordPolicyFor(const std::string& operations) {
  return "<Policy default>\n"
         "  <Limit " + operations + ">\n"
         "    AuthType Basic\n"
         "    Require valid-user\n"
         "  </Limit>\n"
         "  <Limit All>\n"
         "    Order deny,allow\n"
         "  </Limit>\n"
         "</Policy>\n";
}

}  // namespace

// Bound once to learn it, then handed over.
std::uint16_t FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  std::uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

namespace {

// Who runs the printer programs: cupsd refuses to run them as root, so
// root hands them to lp as an installed CUPS does; anyone else can only
// run them as themselves.
struct RunAs {
  std::string user, group, systemGroup;
};

RunAs PrinterProgramsRunAs() {
  if (geteuid() == 0) return {"lp", "lp", "root"};
  const passwd* user = getpwuid(geteuid());
  const group* primary = getgrgid(getegid());
  const std::string groupName = primary ? primary->gr_name : std::to_string(getegid());
  return {user ? user->pw_name : std::to_string(geteuid()), groupName, groupName};
}

}  // namespace

std::unique_ptr<PrivateCupsd> PrivateCupsd::Start(std::string* why, PrivateCupsdOptions options) {
  if (FindProgram("cupsd").empty()) {
    if (why) *why = "cupsd is not installed (Debian package cups-daemon)";
    return nullptr;
  }

  // /tmp rather than TMPDIR: the socket path must stay short, and lp must
  // be able to walk down to the spooled files.
  char pattern[] = "/tmp/brisakett-cupsd-XXXXXX";
  if (!mkdtemp(pattern)) {
    if (why) *why = std::string("cannot create a folder in /tmp: ") + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<PrivateCupsd> cupsd(new PrivateCupsd());
  cupsd->folder_ = pattern;
  cupsd->socketPath_ = cupsd->folder_ + "/cups.sock";
  chmod(pattern, 0755);

  if (!cupsd->WriteConfiguration(options, why) || !cupsd->Launch(why)) return nullptr;
  cupsd->UseThisScheduler();
  return cupsd;
}

PrivateCupsd::~PrivateCupsd() {
  Stop();
  RestoreEnvironment();
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

bool PrivateCupsd::WriteConfiguration(const PrivateCupsdOptions& options, std::string* why) {
  const fs::path folder = folder_;
  std::error_code error;
  for (const char* sub : {"conf", "spool/tmp", "cache", "state", "log"}) {
    fs::create_directories(folder / sub, error);
    if (error) {
      if (why) *why = "cannot create " + (folder / sub).string() + ": " + error.message();
      return false;
    }
  }

  // Over a numeric address cupsd presents the certificate of its
  // ServerName, so the name is fixed and the certificate made for it.
  std::string listen = options.encryption ? "ServerName localhost\n" : "";
  listen += "Listen " + socketPath_ + "\n";
  if (options.listenOnTcp) {
    tcpPort_ = FreeLoopbackPort();
    listen += "Listen 127.0.0.1:" + std::to_string(tcpPort_) + "\n";
  }
  // DirtyCleanInterval 0 writes printers.conf at once, so a queue survives
  // Stop and Restart. The page log format makes one plain line per job.
  const std::string cupsdConf = listen +
                                "Browsing No\n"
                                "BrowseLocalProtocols none\n"
                                "DefaultShared No\n"
                                "WebInterface No\n"
                                "DirtyCleanInterval 0\n"
                                "LogLevel debug\n"
                                "PageLogFormat %p %j %P %C %{job-name}\n"
                                "<Location />\n"
                                "  Order allow,deny\n"
                                "  Allow all\n"
                                "</Location>\n" +
                                (options.passwordForJobs
                                     ? PasswordPolicyFor("Create-Job Print-Job Send-Document")
                                     : "") +
                                (options.passwordForEverything ? "<Policy default>\n"
                                                                 "  <Limit All>\n"
                                                                 "    AuthType Basic\n"
                                                                 "    Require valid-user\n"
                                                                 "    Order deny,allow\n"
                                                                 "  </Limit>\n"
                                                                 "</Policy>\n"
                                                               : "") +
                                (options.guardNotifications
                                     ? PasswordPolicyFor("Get-Notifications Renew-Subscription Cancel-Subscription")
                                     : "") +
                                (options.noJobHistory ? "PreserveJobHistory No\n" : "") +
                                (options.maxEvents > 0 ? "MaxEvents " + std::to_string(options.maxEvents) + "\n"
                                                       : "");

  const RunAs runAs = PrinterProgramsRunAs();
  const std::string f = folder_;
  const std::string cupsFilesConf = "User " + runAs.user + "\n" +
                                    "Group " + runAs.group + "\n" +
                                    "SystemGroup " + runAs.systemGroup + "\n" +
                                    "ServerRoot " + f + "/conf\n" +
                                    "RequestRoot " + f + "/spool\n" +
                                    "TempDir " + f + "/spool/tmp\n" +
                                    "CacheDir " + f + "/cache\n" +
                                    "StateDir " + f + "/state\n" +
                                    "ServerBin /usr/lib/cups\n"
                                    "DataDir /usr/share/cups\n"
                                    "AccessLog " + f + "/log/access_log\n" +
                                    "ErrorLog " + f + "/log/error_log\n" +
                                    "PageLog " + f + "/log/page_log\n" +
                                    "Printcap " + f + "/state/printcap\n" +
                                    "ServerKeychain " + f + "/conf/ssl\n" +
                                    "CreateSelfSignedCerts No\n";

  if (!WriteFile(folder / "conf/cupsd.conf", cupsdConf) ||
      !WriteFile(folder / "conf/cups-files.conf", cupsFilesConf)) {
    if (why) *why = "cannot write the configuration in " + (folder / "conf").string();
    return false;
  }
  if (options.encryption) {
    fs::create_directories(folder / "conf/ssl", error);
    const std::string ssl = folder_ + "/conf/ssl/";
    const ProgramRun made = RunProgram(
        {FindProgram("openssl"), "req", "-x509", "-newkey", "ec", "-pkeyopt",
         "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj", "/CN=localhost",
         "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", ssl + "localhost.key",
         "-out", ssl + "localhost.crt"});
    if (made.exitStatus != 0) {
      if (why) *why = "openssl could not make a certificate: " + made.output;
      return false;
    }
  }
  return true;
}

bool PrivateCupsd::Launch(std::string* why) {
  const std::string output = folder_ + "/log/cupsd_output";
  pid_ = StartProgram({FindProgram("cupsd"), "-f", "-c", folder_ + "/conf/cupsd.conf", "-s",
                       folder_ + "/conf/cups-files.conf"},
                      output);
  if (pid_ < 0) {
    if (why) *why = "cannot start cupsd";
    return false;
  }

  const auto deadline = std::chrono::steady_clock::now() + 15s;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      if (why) {
        *why = "cupsd stopped at once (" +
               (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                  : std::string("killed")) +
               "):\n" + ReadFile(output) + LastLines(ErrorLog(), 15);
      }
      return false;
    }
    if (SocketAnswers(socketPath_)) return true;
    std::this_thread::sleep_for(20ms);
  }
  Stop();
  if (why) *why = "cupsd did not open " + socketPath_ + " within 15 s";
  return false;
}

void PrivateCupsd::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(10ms);
  }
  pid_ = -1;
}

bool PrivateCupsd::Restart(std::string* why) {
  Stop();
  return Launch(why);
}

void PrivateCupsd::UseThisScheduler() {
  for (const char* name : {"CUPS_SERVER", "LPDEST", "PRINTER", "HOME", "CUPS_SERVERROOT"}) {
    const char* value = std::getenv(name);
    savedEnvironment_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
  }
  setenv("CUPS_SERVER", socketPath_.c_str(), 1);
  unsetenv("LPDEST");
  unsetenv("PRINTER");
  // The user's ~/.cups/lpoptions and the machine's /etc/cups/lpoptions and
  // client.conf would otherwise choose the default printer or the server:
  // point both at the scheduler's own (empty) client folder.
  const std::string client = UserHome();
  mkdir(client.c_str(), 0755);
  setenv("HOME", client.c_str(), 1);
  setenv("CUPS_SERVERROOT", client.c_str(), 1);
  // libcups reads CUPS_SERVER once per thread and then keeps its answer.
  cupsSetServer(socketPath_.c_str());
}

void PrivateCupsd::RestoreEnvironment() {
  if (savedEnvironment_.empty()) return;
  for (const auto& [name, value] : savedEnvironment_) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  savedEnvironment_.clear();
  cupsSetServer(nullptr);
}

bool PrivateCupsd::Administer(const std::string& program, std::vector<std::string> arguments,
                              std::string* why) {
  std::vector<std::string> argv{FindProgram(program), "-h", socketPath_};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const ProgramRun run = RunProgram(argv);
  if (run.exitStatus == 0) return true;
  if (why) *why = program + " failed: " + run.output;
  return false;
}

bool PrivateCupsd::AddQueue(const std::string& name, std::uint16_t port, std::string* why,
                            const std::string& host) {
  return AddQueue(name, "socket://" + host + ":" + std::to_string(port), why);
}

bool PrivateCupsd::AddQueue(const std::string& name, const std::string& deviceUri,
                            std::string* why) {
  // Raw queues are deprecated in CUPS 2.4 and lpadmin says so; they work.
  return Administer("lpadmin", {"-p", name, "-E", "-v", deviceUri, "-m", "raw"}, why);
}

bool PrivateCupsd::AddQueues(const std::vector<std::string>& names, const std::string& deviceUri,
                             bool stopped, std::string* why) {
  Stop();
  std::ofstream conf(folder_ + "/conf/printers.conf", std::ios::app);
  int id = 1000;
  for (const std::string& name : names) {
    conf << "<Printer " << name << ">\nPrinterId " << ++id << "\nInfo " << name << "\nDeviceURI "
         << deviceUri << "\nState " << (stopped ? "Stopped" : "Idle")
         << "\nType 4\nAccepting Yes\nShared No\nJobSheets none none\nOpPolicy default\n"
            "ErrorPolicy retry-job\n</Printer>\n";
  }
  conf.close();
  if (!conf) {
    if (why) *why = "cannot write printers.conf";
    return false;
  }
  return Launch(why);
}

bool PrivateCupsd::SetDefault(const std::string& name, std::string* why) {
  return Administer("lpadmin", {"-d", name}, why);
}

bool PrivateCupsd::Reject(const std::string& name, std::string* why) {
  return Administer("cupsreject", {name}, why);
}

bool PrivateCupsd::Accept(const std::string& name, std::string* why) {
  return Administer("cupsaccept", {name}, why);
}

bool PrivateCupsd::Disable(const std::string& name, std::string* why) {
  return Administer("cupsdisable", {name}, why);
}

bool PrivateCupsd::Enable(const std::string& name, std::string* why) {
  return Administer("cupsenable", {name}, why);
}

std::vector<int> PrivateCupsd::SubscriptionLeases() const {
  std::vector<int> leases;
  if (pid_ <= 0) return leases;
  http_t* http = httpConnect2(socketPath_.c_str(), 0, nullptr, AF_UNSPEC,
                              HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
  if (!http) return leases;
  ipp_t* request = ippNewRequest(IPP_OP_GET_SUBSCRIPTIONS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, "ipp://localhost/");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ippAddBoolean(request, IPP_TAG_OPERATION, "my-subscriptions", 0);
  ipp_t* response = cupsDoRequest(http, request, "/");
  for (ipp_attribute_t* attribute = ippFindAttribute(response, "notify-lease-expiration-time", IPP_TAG_INTEGER);
       attribute; attribute = ippFindNextAttribute(response, "notify-lease-expiration-time", IPP_TAG_INTEGER)) {
    const int expires = ippGetInteger(attribute, 0);
    leases.push_back(expires == 0 ? 0 : expires - static_cast<int>(time(nullptr)));
  }
  ippDelete(response);
  httpClose(http);
  return leases;
}

std::vector<SpooledJob> PrivateCupsd::Jobs() const {
  std::vector<SpooledJob> jobs;
  if (pid_ <= 0) return jobs;

  // A connection of its own, so the answer does not depend on which server
  // the calling thread's libcups happens to use.
  http_t* http = httpConnect2(socketPath_.c_str(), 0, nullptr, AF_UNSPEC,
                              HTTP_ENCRYPTION_IF_REQUESTED, 1, 5000, nullptr);
  if (!http) return jobs;

  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr,
               "ipp://localhost/");
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
  // The scheduler shows a job's name only to its owner.
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  static const char* const kWanted[] = {"job-id", "job-name", "job-state", "job-printer-uri",
                                        "job-impressions-completed"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                static_cast<int>(std::size(kWanted)), nullptr, kWanted);

  ipp_t* response = cupsDoRequest(http, request, "/");
  // Each job is one run of job attributes; a separator ends it.
  ipp_attribute_t* attribute = response ? ippFirstAttribute(response) : nullptr;
  while (attribute) {
    if (ippGetGroupTag(attribute) != IPP_TAG_JOB) {
      attribute = ippNextAttribute(response);
      continue;
    }
    SpooledJob& job = jobs.emplace_back();
    for (; attribute && ippGetGroupTag(attribute) == IPP_TAG_JOB;
         attribute = ippNextAttribute(response)) {
      const std::string name = ippGetName(attribute);
      if (name == "job-id") {
        job.id = ippGetInteger(attribute, 0);
      } else if (name == "job-name") {
        job.title = ippGetString(attribute, 0, nullptr);
      } else if (name == "job-state") {
        job.state = ippEnumString("job-state", ippGetInteger(attribute, 0));
      } else if (name == "job-printer-uri") {
        const std::string uri = ippGetString(attribute, 0, nullptr);
        job.queue = uri.substr(uri.rfind('/') + 1);
      } else if (name == "job-impressions-completed") {
        job.pages = ippGetInteger(attribute, 0);
      }
    }
  }
  ippDelete(response);
  httpClose(http);

  std::sort(jobs.begin(), jobs.end(),
            [](const SpooledJob& a, const SpooledJob& b) { return a.id < b.id; });
  return jobs;
}

bool PrivateCupsd::WaitForCompletedJobs(std::size_t count,
                                        std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const std::vector<SpooledJob> jobs = Jobs();
    const auto completed = std::count_if(jobs.begin(), jobs.end(), [](const SpooledJob& job) {
      return job.state == "completed";
    });
    if (static_cast<std::size_t>(completed) >= count) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(50ms);
  }
}

std::string PrivateCupsd::PageLog() const { return ReadFile(folder_ + "/log/page_log"); }

std::string PrivateCupsd::ErrorLog() const { return ReadFile(folder_ + "/log/error_log"); }

bool CupsdRequired() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

}  // namespace brisakett::testing
