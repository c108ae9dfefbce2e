#include "posix/snmp_device_status.h"

// clang-format off: net-snmp's headers need their configuration first.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/large_fd_set.h>
// clang-format on

#include <arpa/inet.h>
#include <netdb.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

#include "within_deadline.h"

namespace brisakett {
namespace {

using Clock = std::chrono::steady_clock;

// Host Resources and Printer MIB values of the printer, device 1.
const oid kDeviceStatus[] = {1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 5, 1};
const oid kPrinterStatus[] = {1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 1, 1};
const oid kErrorState[] = {1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 2, 1};
struct Wanted {
  const oid* name;
  std::size_t length;
};
constexpr Wanted kWanted[] = {{kDeviceStatus, std::size(kDeviceStatus)},
                              {kPrinterStatus, std::size(kPrinterStatus)},
                              {kErrorState, std::size(kErrorState)}};

// A lost datagram is sent again after a second; three tries make the
// "about 3 s" a silent device costs.
constexpr long kTryMicroseconds = 1'000'000;
constexpr int kRetries = 2;

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

std::string Unbracketed(const std::string& host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    return host.substr(1, host.size() - 2);
  }
  return host;
}

// A host's address as net-snmp takes it ("udp:192.0.2.7:161"), or the
// look-up's error.
struct Looked {
  int error = 0;
  std::string peer;
};

Looked LookUp(const std::string& host, std::uint16_t port, int flags) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (error != 0) return {error, {}};
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

// Each host's address, or why it has none, all looked up at once within
// the deadline. An address needs no look-up; each name gets a thread of
// its own that is left behind if its name server is slow. (glibc's
// getaddrinfo_a would do, but its gai_suspend races a look-up that ends
// just as the wait gives up, and crashed with some hundred names.)
std::vector<SpoolerAnswer<std::string>> Resolve(const std::vector<std::string>& hosts,
                                                std::uint16_t port, Deadline& deadline) {
  std::vector<SpoolerAnswer<std::string>> peers(hosts.size());
  std::vector<std::optional<LeftBehindCall<Looked>>> lookups(hosts.size());
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    const std::string name = Unbracketed(hosts[i]);
    if (const Looked address = LookUp(name, port, AI_NUMERICHOST); address.error == 0) {
      peers[i] = address.peer;
    } else {
      lookups[i].emplace([name, port] { return LookUp(name, port, 0); });
    }
  }
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    if (!lookups[i]) continue;
    const std::optional<Looked> looked = lookups[i]->Wait(deadline);
    if (!looked) {
      peers[i] = ServerAnswer{ServerVerdict::TimedOut, "its name " + hosts[i] + " did not resolve in time"};
    } else if (looked->error != 0) {
      peers[i] = ServerAnswer{ServerVerdict::Unreachable,
                              "its name " + hosts[i] + " does not resolve: " + gai_strerror(looked->error)};
    } else {
      peers[i] = looked->peer;
    }
  }
  return peers;
}

// One host's question, from its session's opening to its answer.
struct Question {
  void* session = nullptr;
  bool done = false;
  std::vector<std::size_t> asked;  // indexes into kWanted still asked
  int dropAt = 0;                  // a v1 "noSuchName" at this (1-based) variable: ask again without it
  std::optional<long> deviceStatus, printerStatus;
  std::string errorState;
  SpoolerAnswer<DeviceStatus> answer{ServerAnswer{ServerVerdict::TimedOut, "no answer to SNMP"}};
};

bool Send(Question& question) {
  netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
  for (std::size_t wanted : question.asked) {
    snmp_add_null_var(pdu, kWanted[wanted].name, kWanted[wanted].length);
  }
  int (*received)(int, netsnmp_session*, int, netsnmp_pdu*, void*) =
      [](int operation, netsnmp_session*, int, netsnmp_pdu* response, void* magic) -> int {
    auto& question = *static_cast<Question*>(magic);
    question.done = true;
    if (operation != NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE) {
      question.answer = ServerAnswer{ServerVerdict::TimedOut, "no answer to SNMP"};
      return 1;
    }
    if (response->errstat == SNMP_ERR_NOSUCHNAME && response->errindex > 0 &&
        question.asked.size() > 1) {
      question.dropAt = static_cast<int>(response->errindex);
      question.done = false;
      return 1;
    }
    if (response->errstat != SNMP_ERR_NOERROR) {
      question.answer = ServerAnswer{ServerVerdict::Refused,
                                     std::string("SNMP error: ") + snmp_errstring(static_cast<int>(response->errstat))};
      return 1;
    }
    for (netsnmp_variable_list* value = response->variables; value; value = value->next_variable) {
      const auto is = [&](const oid* name, std::size_t length) {
        return snmp_oid_compare(value->name, value->name_length, name, length) == 0;
      };
      if (value->type == ASN_INTEGER && is(kDeviceStatus, std::size(kDeviceStatus))) {
        question.deviceStatus = *value->val.integer;
      } else if (value->type == ASN_INTEGER && is(kPrinterStatus, std::size(kPrinterStatus))) {
        question.printerStatus = *value->val.integer;
      } else if (value->type == ASN_OCTET_STR && is(kErrorState, std::size(kErrorState))) {
        question.errorState.assign(reinterpret_cast<const char*>(value->val.string), value->val_len);
      }
    }
    question.answer = ReadPrinterMib(question.deviceStatus, question.printerStatus, question.errorState);
    return 1;
  };
  if (snmp_sess_async_send(question.session, pdu, received, &question) == 0) {
    snmp_free_pdu(pdu);
    question.done = true;
    question.answer = ServerAnswer{ServerVerdict::Unreachable,
                                   std::string("SNMP not sent: ") + snmp_api_errstring(snmp_errno)};
    return false;
  }
  return true;
}

}  // namespace

std::vector<SpoolerAnswer<DeviceStatus>> SnmpDeviceStatus::Ask(const std::vector<std::string>& hosts,
                                                               const std::string& community,
                                                               Deadline& deadline) const {
  InitNetSnmpOnce();
  const std::vector<SpoolerAnswer<std::string>> peers = Resolve(hosts, port_, deadline);
  std::vector<Question> questions(hosts.size());
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    Question& question = questions[i];
    if (!peers[i].Answered()) {
      question.done = true;
      question.answer = SpoolerAnswer<DeviceStatus>(peers[i]);
      continue;
    }
    netsnmp_session settings;
    snmp_sess_init(&settings);
    settings.version = SNMP_VERSION_1;
    std::string peer = peers[i].value;
    settings.peername = peer.data();
    std::string name = community;
    settings.community = reinterpret_cast<u_char*>(name.data());
    settings.community_len = name.size();
    settings.timeout = kTryMicroseconds;
    settings.retries = kRetries;
    question.session = snmp_sess_open(&settings);  // copies what it keeps
    question.asked = {0, 1, 2};
    if (!question.session) {
      question.done = true;
      question.answer = ServerAnswer{ServerVerdict::Unreachable,
                                     std::string("no SNMP session: ") + snmp_api_errstring(snmp_errno)};
      continue;
    }
    Send(question);
  }

  netsnmp_large_fd_set readable;
  netsnmp_large_fd_set_init(&readable, FD_SETSIZE);
  for (;;) {
    // A v1 agent refuses the whole question for one value it lacks.
    for (Question& question : questions) {
      if (question.dropAt == 0) continue;
      question.asked.erase(question.asked.begin() + (question.dropAt - 1));
      question.dropAt = 0;
      Send(question);
    }
    if (std::all_of(questions.begin(), questions.end(), [](const Question& q) { return q.done; })) break;
    if (deadline.Passed()) break;

    NETSNMP_LARGE_FD_ZERO(&readable);
    int highest = 0;
    auto wait = std::chrono::duration_cast<std::chrono::microseconds>(deadline.Left());
    for (Question& question : questions) {
      if (question.done) continue;
      int block = 1;
      timeval next{};
      snmp_sess_select_info2(question.session, &highest, &readable, &next, &block);
      if (!block) wait = std::min(wait, std::chrono::seconds(next.tv_sec) + std::chrono::microseconds(next.tv_usec));
    }
    timeval timeout{static_cast<time_t>(wait.count() / 1'000'000), static_cast<suseconds_t>(wait.count() % 1'000'000)};
    const int ready = netsnmp_large_fd_set_select(highest, &readable, nullptr, nullptr, &timeout);
    for (Question& question : questions) {
      if (question.done) continue;
      if (ready > 0) snmp_sess_read2(question.session, &readable);
      if (!question.done) snmp_sess_timeout(question.session);
    }
  }
  netsnmp_large_fd_set_cleanup(&readable);

  std::vector<SpoolerAnswer<DeviceStatus>> answers;
  answers.reserve(questions.size());
  for (Question& question : questions) {
    if (question.session) snmp_sess_close(question.session);
    answers.push_back(std::move(question.answer));
  }
  return answers;
}

}  // namespace brisakett
