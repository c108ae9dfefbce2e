#include "posix/snmp_device_status.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

// clang-format off: net-snmp's headers need their configuration first.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/large_fd_set.h>
// clang-format on

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "posix/snmp_reply.h"
#include "within_deadline.h"

namespace brisakett {
namespace {

using Clock = std::chrono::steady_clock;

// A lost datagram is sent again after a second; three tries make the
// "about 3 s" a silent device costs. net-snmp keeps the request id across
// the tries, so an answer to the first that comes late is still heard.
constexpr long kTryMicroseconds = 1'000'000;
constexpr int kRetries = 2;
// How long one device's name may take to resolve, once per run.
constexpr auto kNameBound = kServerPatience;
// How often a name look-up under way is looked at.
constexpr std::chrono::milliseconds kLookupCheck{20};

void InitNetSnmpOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    // The OIDs are numeric: nothing of the machine's SNMP set-up (its
    // configuration, MIB files or saved state) is read or written.
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_LOAD_HOST_FILES, 1);
    // Nor MIB files (init_snmp would read them, and say on standard error
    // which are missing). The transports register themselves when the
    // first session opens; registering them here as well would do it twice.
    snmp_disable_stderrlog();
  });
}

const char* VersionName(long version) { return version == SNMP_VERSION_1 ? "v1" : "v2c"; }

std::string Unbracketed(const std::string& host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    return host.substr(1, host.size() - 2);
  }
  return host;
}

// A host's address as net-snmp takes it ("udp:192.0.2.7:161"), or the
// look-up's error in words.
struct Looked {
  int error = 0;
  std::string peerOrWhy;
};

Looked LookUp(const std::string& host, std::uint16_t port, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (error != 0) {
    // Out of file descriptors, say, rather than "System error".
    return {error, error == EAI_SYSTEM ? std::strerror(errno) : gai_strerror(error)};
  }
  char text[INET6_ADDRSTRLEN] = {};
  const bool six = found->ai_family == AF_INET6;
  inet_ntop(found->ai_family,
            six ? static_cast<const void*>(&reinterpret_cast<sockaddr_in6*>(found->ai_addr)->sin6_addr)
                : static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr),
            text, sizeof text);
  freeaddrinfo(found);
  return {0, (six ? "udp6:[" + std::string(text) + "]" : "udp:" + std::string(text)) + ":" +
                 std::to_string(port)};
}

// Why a session could not be opened: running out of file descriptors is
// said as such, which net-snmp's own message does not.
std::string NoSession() {
  const std::string said = snmp_api_errstring(snmp_errno);
  const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe >= 0) {
    close(probe);
    return "no SNMP session: " + said;
  }
  return std::string("no SNMP session: ") + std::strerror(errno);
}

struct Device;

// One request's context for net-snmp's callback, kept until the device's
// sessions are closed.
struct Sent {
  Device* device;
  unsigned step;
  long version;
  bool findsRow;
  bool ended = false;  // answered, or given up on by net-snmp
};

// One host, as the run has learnt it: its address, the SNMP version its
// agent speaks and the printer's row, each found once.
struct Device {
  std::string host;
  const std::string* community = nullptr;
  std::optional<LeftBehindCall<Looked>> lookup;
  Clock::time_point lookupStarted;
  std::string peer;
  std::optional<ServerAnswer> unusable;  // its name did not resolve: every question ends so
  std::map<long, void*> sessions;        // by SNMP version; one once it has answered
  std::optional<long> version;
  std::optional<oid> row;
  std::vector<PrinterValue> asked;

  // The question under way, with everyone waiting for its answer.
  std::vector<DeviceQuestions::Answered> waiting;
  unsigned step = 0;  // a reply to an earlier step is a late one, and ignored
  int outstanding = 0;
  enum class Next { Nothing, FindRow, ReadValues } next = Next::Nothing;
  std::deque<Sent> sent;

  bool Asked() const { return !waiting.empty(); }

  // Ends the question: everyone waiting gets the answer.
  void Settle(const SpoolerAnswer<DeviceStatus>& answer) {
    ++step;
    outstanding = 0;
    next = Next::Nothing;
    std::vector<DeviceQuestions::Answered> told;
    told.swap(waiting);
    for (const DeviceQuestions::Answered& answered : told) answered(answer);
  }

  ServerAnswer Silence() const {
    return {ServerVerdict::TimedOut, std::string("no answer to SNMP ") +
                                         (version ? VersionName(*version) : "v2c or v1") +
                                         " with community \"" + *community + "\""};
  }

  // What a reply says, to the step it answers.
  void Take(const Sent& sent, const netsnmp_pdu& response) {
    const SnmpReply reply = sent.findsRow ? ReadRowReply(response) : ReadValuesReply(response, asked, *row);
    using Kind = SnmpReply::Kind;
    if (reply.kind != Kind::Malformed) version = sent.version;
    switch (reply.kind) {
      case Kind::Values:
        if (sent.findsRow) {
          row = reply.row;
          asked = {PrinterValue::DeviceStatus, PrinterValue::PrinterStatus,
                   PrinterValue::DetectedErrorState};
          Continue(Next::ReadValues);
        } else {
          Settle(reply.status);
        }
        return;
      case Kind::Without:  // SNMPv1 refuses a whole GET for one value it lacks
        asked.erase(asked.begin() + static_cast<std::ptrdiff_t>(reply.without));
        if (!asked.empty()) return Continue(Next::ReadValues);
        row.reset();  // perhaps the printer moved to another row: found again next time
        return Settle(ReadPrinterMib(std::nullopt, std::nullopt, {}));
      case Kind::NoPrinter:
        return Settle(ServerAnswer{ServerVerdict::Refused, "it has no printer in its Host Resources MIB"});
      case Kind::Refused:
        return Settle(ServerAnswer{ServerVerdict::Refused, reply.why});
      case Kind::Malformed:
        return Settle(UnreadableStatus("it sent a malformed reply: " + reply.why));
    }
  }

  void Continue(Next then) {
    ++step;
    outstanding = 0;
    next = then;
  }
};

int Received(int operation, netsnmp_session*, int, netsnmp_pdu* response, void* magic) {
  Sent& sent = *static_cast<Sent*>(magic);
  Device& device = *sent.device;
  // net-snmp tells each of its tries; only the last one's end is an answer.
  if (operation == NETSNMP_CALLBACK_OP_RESEND || sent.ended) return 1;
  sent.ended = true;
  if (!device.Asked() || sent.step != device.step) return 1;
  if (operation != NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE || !response) {
    if (--device.outstanding <= 0) device.Settle(device.Silence());
    return 1;
  }
  device.Take(sent, *response);
  return 1;
}

// The run's devices, asked from one thread of their own that waits on
// every device's socket at once.
class SnmpQuestions final : public DeviceQuestions {
public:
  SnmpQuestions(std::string community, std::uint16_t port)
      : community_(std::move(community)), port_(port) {
    InitNetSnmpOnce();
    if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) wake_[0] = wake_[1] = -1;
    engine_ = std::thread([this] { Run(); });
  }

  ~SnmpQuestions() override {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    Wake();
    engine_.join();
    for (const int end : wake_) {
      if (end >= 0) close(end);
    }
  }

  void Ask(const std::string& host, Answered answered) override {
    {
      const std::lock_guard lock(mutex_);
      asked_.emplace_back(host, std::move(answered));
    }
    Wake();
  }

private:
  void Wake() {
    const char byte = 0;
    if (wake_[1] >= 0) [[maybe_unused]] const ssize_t written = write(wake_[1], &byte, 1);
  }

  void Run() {
    netsnmp_large_fd_set readable;
    netsnmp_large_fd_set_init(&readable, FD_SETSIZE);
    for (;;) {
      std::vector<std::pair<std::string, Answered>> asked;
      {
        const std::lock_guard lock(mutex_);
        if (stopping_) break;
        asked.swap(asked_);
      }
      for (auto& [host, answered] : asked) Begin(DeviceFor(host), std::move(answered));
      FollowLookups();
      for (auto& [host, device] : devices_) Advance(*device);
      WaitAndRead(readable);
    }
    netsnmp_large_fd_set_cleanup(&readable);
    for (auto& [host, device] : devices_) {
      device->waiting.clear();  // nobody is told any more
      for (auto& [version, session] : device->sessions) snmp_sess_close(session);
    }
  }

  Device& DeviceFor(const std::string& host) {
    std::unique_ptr<Device>& device = devices_[host];
    if (device) return *device;
    device = std::make_unique<Device>();
    device->host = host;
    device->community = &community_;
    const std::string name = Unbracketed(host);
    if (Looked address = LookUp(name, port_, AI_NUMERICHOST); address.error == 0) {
      device->peer = address.peerOrWhy;
    } else {
      // Each name is looked up once, on a thread of its own: a slow name
      // server costs that device its answer, no other device anything.
      device->lookup.emplace([name, port = port_] { return LookUp(name, port, 0); });
      device->lookupStarted = Clock::now();
    }
    return *device;
  }

  void Begin(Device& device, Answered answered) {
    const bool underWay = device.Asked();
    device.waiting.push_back(std::move(answered));
    if (underWay) return;  // the question under way answers this one too
    if (device.unusable) return device.Settle(*device.unusable);
    if (!device.lookup) device.next = device.row ? Device::Next::ReadValues : Device::Next::FindRow;
  }

  void FollowLookups() {
    for (auto& [host, device] : devices_) {
      if (!device->lookup) continue;
      if (std::optional<Looked> looked = device->lookup->TryTake()) {
        device->lookup.reset();
        if (looked->error == 0) {
          device->peer = looked->peerOrWhy;
        } else {
          device->unusable = ServerAnswer{ServerVerdict::Unreachable,
                                          "its name " + host + " does not resolve: " + looked->peerOrWhy};
        }
      } else if (Clock::now() - device->lookupStarted >= kNameBound) {
        device->lookup.reset();  // left behind
        device->unusable = ServerAnswer{ServerVerdict::TimedOut, "its name " + host + " did not resolve in time"};
      } else {
        continue;
      }
      if (!device->Asked()) continue;
      if (device->unusable) {
        device->Settle(*device->unusable);
      } else {
        device->next = Device::Next::FindRow;
      }
    }
  }

  void Advance(Device& device) {
    // The agent has told its version: the other session has done its part.
    if (device.version && device.sessions.size() > 1) {
      for (auto session = device.sessions.begin(); session != device.sessions.end();) {
        if (session->first == *device.version) {
          ++session;
        } else {
          snmp_sess_close(session->second);
          session = device.sessions.erase(session);
        }
      }
    }
    const Device::Next next = device.next;
    device.next = Device::Next::Nothing;
    if (next == Device::Next::Nothing) return;
    const bool findsRow = next == Device::Next::FindRow;
    std::vector<long> versions;
    if (device.version) {
      versions.push_back(*device.version);
    } else {
      versions = {SNMP_VERSION_2c, SNMP_VERSION_1};
    }
    std::string failure;
    for (const long version : versions) {
      void* session = OpenSession(device, version, failure);
      if (!session) continue;
      netsnmp_pdu* pdu = snmp_pdu_create(findsRow ? SNMP_MSG_GETNEXT : SNMP_MSG_GET);
      if (findsRow) {
        snmp_add_null_var(pdu, PrinterStatusColumn().data(), PrinterStatusColumn().size());
      } else {
        for (const PrinterValue value : device.asked) {
          const std::vector<oid> name = PrinterValueName(value, *device.row);
          snmp_add_null_var(pdu, name.data(), name.size());
        }
      }
      device.sent.push_back({&device, device.step, version, findsRow});
      if (snmp_sess_async_send(session, pdu, &Received, &device.sent.back()) == 0) {
        snmp_free_pdu(pdu);
        failure = std::string("SNMP not sent: ") + snmp_api_errstring(snmp_errno);
        continue;
      }
      ++device.outstanding;
    }
    if (device.outstanding == 0) device.Settle(ServerAnswer{ServerVerdict::Unreachable, failure});
  }

  void* OpenSession(Device& device, long version, std::string& failure) {
    if (const auto open = device.sessions.find(version); open != device.sessions.end()) {
      return open->second;
    }
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.version = version;
    settings.peername = device.peer.data();
    std::string name = community_;
    settings.community = reinterpret_cast<u_char*>(name.data());
    settings.community_len = name.size();
    settings.timeout = kTryMicroseconds;
    settings.retries = kRetries;
    void* session = snmp_sess_open(&settings);  // copies what it keeps
    if (!session) {
      failure = NoSession();
      return nullptr;
    }
    device.sessions.emplace(version, session);
    return session;
  }

  void WaitAndRead(netsnmp_large_fd_set& readable) {
    NETSNMP_LARGE_FD_ZERO(&readable);
    int highest = 0;
    std::chrono::microseconds wait = std::chrono::seconds(1);
    if (wake_[0] >= 0) {
      NETSNMP_LARGE_FD_SET(wake_[0], &readable);
      highest = wake_[0] + 1;
    } else {
      wait = kLookupCheck;
    }
    for (auto& [host, device] : devices_) {
      if (device->lookup) wait = std::min<std::chrono::microseconds>(wait, kLookupCheck);
      for (auto& [version, session] : device->sessions) {
        int block = 1;
        timeval next{};
        snmp_sess_select_info2(session, &highest, &readable, &next, &block);
        if (!block) {
          wait = std::min(wait, std::chrono::seconds(next.tv_sec) + std::chrono::microseconds(next.tv_usec));
        }
      }
    }
    timeval timeout{static_cast<time_t>(wait.count() / 1'000'000),
                    static_cast<suseconds_t>(wait.count() % 1'000'000)};
    const int ready = netsnmp_large_fd_set_select(highest, &readable, nullptr, nullptr, &timeout);
    if (ready > 0 && wake_[0] >= 0 && NETSNMP_LARGE_FD_ISSET(wake_[0], &readable)) {
      char drained[64];
      while (read(wake_[0], drained, sizeof drained) > 0) {
      }
    }
    for (auto& [host, device] : devices_) {
      for (auto& [version, session] : device->sessions) {
        if (ready > 0) snmp_sess_read2(session, &readable);
        snmp_sess_timeout(session);
      }
    }
  }

  const std::string community_;
  const std::uint16_t port_;
  int wake_[2] = {-1, -1};

  std::mutex mutex_;
  std::vector<std::pair<std::string, Answered>> asked_;
  bool stopping_ = false;

  std::map<std::string, std::unique_ptr<Device>> devices_;  // the engine thread's alone
  std::thread engine_;
};

}  // namespace

std::unique_ptr<DeviceQuestions> SnmpDeviceStatus::Open(const std::string& community) const {
  return std::make_unique<SnmpQuestions>(community, port_);
}

}  // namespace brisakett
