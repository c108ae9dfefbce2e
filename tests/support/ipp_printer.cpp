#include "ipp_printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cups/cups.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstring>
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

std::unique_ptr<IppPrinter> IppPrinter::Start(const std::string& formats, std::string* why,
                                              const std::string& command) {
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
  std::vector<std::string> argv{FindProgram("env"), "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + bus, program,
                                "-r", "off", "-n", "localhost", "-p", std::to_string(printer->port_),
                                "-f", formats, "-d", folder + "/spool", "-v"};
  if (!command.empty()) argv.insert(argv.end(), {"-c", command});
  argv.push_back("Refusing");
  printer->printer_ = StartProgram(argv, log);
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

namespace brisakett::testing {
namespace {

using Clock = std::chrono::steady_clock;

bool SendAll(int fd, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// Reads until `bytes` holds at least `size` bytes; false when the
// connection ends first.
bool ReadTo(int fd, std::string& bytes, std::size_t size) {
  char buffer[16384];
  while (bytes.size() < size) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

// Reads until `bytes` holds `mark`; where it starts, or npos.
std::size_t ReadPast(int fd, std::string& bytes, const std::string& mark) {
  for (;;) {
    const std::size_t at = bytes.find(mark);
    if (at != std::string::npos || !ReadTo(fd, bytes, bytes.size() + 1)) return at;
  }
}

// One HTTP request's body, whole (by its length, or chunk by chunk);
// nothing when the connection ended. `bytes` keeps what came after it.
std::optional<std::string> ReadRequest(int fd, std::string& bytes) {
  const std::size_t end = ReadPast(fd, bytes, "\r\n\r\n");
  if (end == std::string::npos) return std::nullopt;
  std::string head = bytes.substr(0, end);
  bytes.erase(0, end + 4);
  std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return std::tolower(c); });
  if (head.find("\nexpect: 100-continue") != std::string::npos &&
      !SendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n")) {
    return std::nullopt;
  }
  std::string body;
  if (head.find("\ntransfer-encoding: chunked") == std::string::npos) {
    const std::size_t length = head.find("\ncontent-length:");
    const std::size_t size = length == std::string::npos ? 0 : std::stoul(head.substr(length + 16));
    if (!ReadTo(fd, bytes, size)) return std::nullopt;
    body = bytes.substr(0, size);
    bytes.erase(0, size);
    return body;
  }
  for (;;) {
    const std::size_t line = ReadPast(fd, bytes, "\r\n");
    if (line == std::string::npos) return std::nullopt;
    const std::size_t size = std::stoul(bytes.substr(0, line), nullptr, 16);
    bytes.erase(0, line + 2);
    if (size == 0) return ReadPast(fd, bytes, "\r\n") == std::string::npos ? std::nullopt : std::optional(body);
    if (!ReadTo(fd, bytes, size + 2)) return std::nullopt;
    body += bytes.substr(0, size);
    bytes.erase(0, size + 2);
  }
}

struct Bytes {
  std::string text;
  std::size_t at = 0;
};

ssize_t ReadBytes(void* context, ipp_uchar_t* buffer, size_t length) {
  Bytes& bytes = *static_cast<Bytes*>(context);
  const std::size_t count = std::min(length, bytes.text.size() - bytes.at);
  std::memcpy(buffer, bytes.text.data() + bytes.at, count);
  bytes.at += count;
  return static_cast<ssize_t>(count);
}

ssize_t WriteBytes(void* context, ipp_uchar_t* buffer, size_t length) {
  static_cast<Bytes*>(context)->text.append(reinterpret_cast<const char*>(buffer), length);
  return static_cast<ssize_t>(length);
}

// What CUPS' ipp backend looks for before it sends a job.
void AddCapabilities(ipp_t* response) {
  ippAddBoolean(response, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
  const int operations[] = {IPP_OP_PRINT_JOB, IPP_OP_VALIDATE_JOB, IPP_OP_CANCEL_JOB, IPP_OP_GET_JOB_ATTRIBUTES,
                            IPP_OP_GET_JOBS, IPP_OP_GET_PRINTER_ATTRIBUTES};
  ippAddIntegers(response, IPP_TAG_PRINTER, IPP_TAG_ENUM, "operations-supported", 6, operations);
  ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_MIMETYPE, "document-format-supported", nullptr,
               "application/octet-stream");
}

void AddState(ipp_t* response, const ScriptedIppPrinter::State& state, bool wrongTypes) {
  if (wrongTypes) {
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "printer-state", nullptr, "idle");
  } else if (state.printerState != 0) {
    ippAddInteger(response, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", state.printerState);
  }
  std::vector<const char*> reasons;
  for (const std::string& reason : state.reasons) reasons.push_back(reason.c_str());
  if (!reasons.empty()) {
    ippAddStrings(response, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "printer-state-reasons",
                  static_cast<int>(reasons.size()), nullptr, reasons.data());
  }
  if (!state.message.empty()) {
    ippAddString(response, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-state-message", nullptr, state.message.c_str());
  }
}

}  // namespace

ScriptedIppPrinter::ScriptedIppPrinter(const std::vector<std::string>& addresses, Behaviour behaviour,
                                       std::uint16_t port)
    : behaviour_(std::move(behaviour)), port_(port) {
  for (const std::string& address : addresses) {
    services_.push_back(
        std::make_unique<LoopbackService>([this](int client) { Serve(client); }, address, port_, true));
    port_ = services_.back()->Port();
    if (port_ == 0) return;
  }
}

ScriptedIppPrinter::~ScriptedIppPrinter() {
  stopping_ = true;
  services_.clear();
}

void ScriptedIppPrinter::Set(const Behaviour& behaviour) {
  const std::lock_guard lock(mutex_);
  behaviour_ = behaviour;
}

void ScriptedIppPrinter::Rest() {
  const std::lock_guard lock(mutex_);
  firstJob_.reset();
}

ScriptedIppPrinter::State ScriptedIppPrinter::Now() {
  const std::lock_guard lock(mutex_);
  if (behaviour_.warming && firstJob_ && Clock::now() - *firstJob_ < behaviour_.warmUp) return *behaviour_.warming;
  return behaviour_.state;
}

void ScriptedIppPrinter::Serve(int client) {
  {
    const std::lock_guard lock(mutex_);
    if (behaviour_.diesAfterJob && firstJob_) {
      shutdown(client, SHUT_RDWR);
      return;
    }
  }
  std::string bytes;
  for (;;) {
    std::optional<std::string> body = ReadRequest(client, bytes);
    Behaviour behaviour;
    {
      const std::lock_guard lock(mutex_);
      behaviour = behaviour_;
    }
    if (!body) return;
    if (behaviour.silent) {
      while (ReadTo(client, bytes, bytes.size() + 1)) {  // until the client gives up
      }
      return;
    }
    for (auto until = Clock::now() + behaviour.delay; Clock::now() < until && !stopping_;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string answer = Answer(*body);
    if (!SendAll(client, "HTTP/1.1 200 OK\r\nContent-Type: application/ipp\r\nContent-Length: " +
                             std::to_string(answer.size()) + "\r\n\r\n" + answer)) {
      return;
    }
  }
}

std::string ScriptedIppPrinter::Answer(const std::string& body) {
  Bytes in{body};
  ipp_t* request = ippNew();
  ipp_state_t state;
  while ((state = ippReadIO(&in, ReadBytes, 1, nullptr, request)) != IPP_STATE_DATA && state != IPP_STATE_ERROR) {
  }
  ipp_t* response = ippNewResponse(request);
  ipp_attribute_t* jobId = ippFindAttribute(request, "job-id", IPP_TAG_INTEGER);
  switch (state == IPP_STATE_ERROR ? IPP_OP_CUPS_INVALID : ippGetOperation(request)) {
    case IPP_OP_GET_PRINTER_ATTRIBUTES: {
      const bool wrongTypes = [this] {
        const std::lock_guard lock(mutex_);
        return behaviour_.wrongTypes;
      }();
      AddState(response, Now(), wrongTypes);
      AddCapabilities(response);
      break;
    }
    case IPP_OP_PRINT_JOB: {
      const int id = ++jobs_;
      {
        const std::lock_guard lock(mutex_);
        if (!firstJob_) firstJob_ = Clock::now();
      }
      ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", id);
      ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_ENUM, "job-state", IPP_JSTATE_COMPLETED);
      break;
    }
    case IPP_OP_GET_JOB_ATTRIBUTES:
      ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_INTEGER, "job-id", jobId ? ippGetInteger(jobId, 0) : 0);
      ippAddInteger(response, IPP_TAG_JOB, IPP_TAG_ENUM, "job-state", IPP_JSTATE_COMPLETED);
      ippAddString(response, IPP_TAG_JOB, IPP_TAG_KEYWORD, "job-state-reasons", nullptr,
                   "job-completed-successfully");
      break;
    case IPP_OP_VALIDATE_JOB:
    case IPP_OP_CANCEL_JOB:
    case IPP_OP_GET_JOBS:
      break;
    default:
      ippSetStatusCode(response, IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED);
  }
  Bytes out;
  ippSetState(response, IPP_STATE_IDLE);
  while ((state = ippWriteIO(&out, WriteBytes, 1, nullptr, response)) != IPP_STATE_DATA && state != IPP_STATE_ERROR) {
  }
  ippDelete(request);
  ippDelete(response);
  return out.text;
}

}  // namespace brisakett::testing
