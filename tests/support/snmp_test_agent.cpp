#include "snmp_test_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <vector>

namespace brisakett::testing {
namespace {

using Bytes = std::string;
using Clock = std::chrono::steady_clock;

// BER, as much of it as SNMP v1/v2c needs.
Bytes Tlv(unsigned char tag, const Bytes& content) {
  Bytes out(1, static_cast<char>(tag));
  const std::size_t n = content.size();
  if (n < 0x80) {
    out += static_cast<char>(n);
  } else if (n < 0x100) {
    out += "\x81";
    out += static_cast<char>(n);
  } else {
    out += "\x82";
    out += static_cast<char>(n >> 8);
    out += static_cast<char>(n & 0xff);
  }
  return out + content;
}

Bytes Integer(long value, unsigned char tag = 0x02) {
  Bytes octets;
  for (int shift = 56; shift >= 0; shift -= 8) octets += static_cast<char>((value >> shift) & 0xff);
  while (octets.size() > 1 && ((octets[0] == 0 && !(octets[1] & 0x80)) ||
                               (octets[0] == '\xff' && (octets[1] & 0x80)))) {
    octets.erase(0, 1);
  }
  return Tlv(tag, octets);
}

Bytes Oid(const std::vector<unsigned long>& arcs) {
  Bytes content(1, static_cast<char>(arcs[0] * 40 + arcs[1]));
  for (std::size_t i = 2; i < arcs.size(); ++i) {
    Bytes base128;
    unsigned long arc = arcs[i];
    do {
      base128.insert(base128.begin(), static_cast<char>((arc & 0x7f) | (base128.empty() ? 0 : 0x80)));
      arc >>= 7;
    } while (arc);
    content += base128;
  }
  return Tlv(0x06, content);
}

// A TLV read from `in` at `at`; false when the bytes end too soon.
struct Read {
  unsigned char tag = 0;
  Bytes content;
};
bool ReadTlv(const Bytes& in, std::size_t& at, Read& read) {
  if (at + 2 > in.size()) return false;
  read.tag = static_cast<unsigned char>(in[at++]);
  std::size_t length = static_cast<unsigned char>(in[at++]);
  if (length & 0x80) {
    const std::size_t octets = length & 0x7f;
    if (octets > 2 || at + octets > in.size()) return false;
    length = 0;
    for (std::size_t i = 0; i < octets; ++i) length = length << 8 | static_cast<unsigned char>(in[at++]);
  }
  if (at + length > in.size()) return false;
  read.content = in.substr(at, length);
  at += length;
  return true;
}

long IntegerOf(const Bytes& content) {
  long value = content.empty() || !(content[0] & 0x80) ? 0 : -1;
  for (const char octet : content) value = value << 8 | static_cast<unsigned char>(octet);
  return value;
}

std::vector<unsigned long> ArcsOf(const Bytes& content) {
  std::vector<unsigned long> arcs;
  if (content.empty()) return arcs;
  arcs = {static_cast<unsigned char>(content[0]) / 40ul, static_cast<unsigned char>(content[0]) % 40ul};
  unsigned long arc = 0;
  for (std::size_t i = 1; i < content.size(); ++i) {
    arc = arc << 7 | (content[i] & 0x7f);
    if (!(content[i] & 0x80)) {
      arcs.push_back(arc);
      arc = 0;
    }
  }
  return arcs;
}

struct Request {
  long version = 0;
  Bytes community;
  unsigned char type = 0;  // 0xa0 GET, 0xa1 GETNEXT
  long id = 0;
  std::vector<std::vector<unsigned long>> names;
};

bool Parse(const Bytes& packet, Request& request) {
  std::size_t at = 0;
  Read message, field;
  if (!ReadTlv(packet, at, message) || message.tag != 0x30) return false;
  std::size_t in = 0;
  if (!ReadTlv(message.content, in, field)) return false;
  request.version = IntegerOf(field.content);
  if (!ReadTlv(message.content, in, field)) return false;
  request.community = field.content;
  Read pdu;
  if (!ReadTlv(message.content, in, pdu)) return false;
  request.type = pdu.tag;
  std::size_t p = 0;
  if (!ReadTlv(pdu.content, p, field)) return false;
  request.id = IntegerOf(field.content);
  if (!ReadTlv(pdu.content, p, field) || !ReadTlv(pdu.content, p, field)) return false;
  Read list, binding;
  if (!ReadTlv(pdu.content, p, list)) return false;
  for (std::size_t b = 0; ReadTlv(list.content, b, binding);) {
    std::size_t v = 0;
    Read name;
    if (!ReadTlv(binding.content, v, name)) return false;
    request.names.push_back(ArcsOf(name.content));
  }
  return true;
}

const std::vector<unsigned long> kDeviceStatus{1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 5};
const std::vector<unsigned long> kPrinterStatus{1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 1};
const std::vector<unsigned long> kErrorState{1, 3, 6, 1, 2, 1, 25, 3, 5, 1, 2};

std::vector<unsigned long> At(std::vector<unsigned long> column, long row) {
  column.push_back(static_cast<unsigned long>(row));
  return column;
}

Bytes Response(const Request& request, long errorStatus, long errorIndex, const Bytes& bindings) {
  const Bytes pdu = Integer(request.id) + Integer(errorStatus) + Integer(errorIndex) + Tlv(0x30, bindings);
  return Tlv(0x30, Integer(request.version) + Tlv(0x04, request.community) + Tlv(0xa2, pdu));
}

// The printer's answer to one request, as its faults make it.
Bytes Answer(const Request& request, const SnmpTestAgent::Printer& printer) {
  using Fault = SnmpTestAgent::Fault;
  const long row = printer.fault == Fault::WrongRow ? printer.row + 1 : printer.row;
  if (request.type == 0xa1) {  // GETNEXT: the printer's row, wherever it was asked from
    const Bytes value = printer.printerStatus ? Integer(*printer.printerStatus) : Tlv(0x05, "");
    return Response(request, 0, 0, Tlv(0x30, Oid(At(kPrinterStatus, printer.row)) + value));
  }
  const std::size_t count = request.names.size();
  switch (printer.fault) {
    case Fault::ErrorIndexZero: return Response(request, 2, 0, {});
    case Fault::ErrorIndexBeyond: return Response(request, 2, static_cast<long>(count) + 4, {});
    default: break;
  }
  Bytes bindings;
  for (std::size_t i = 0; i < count; ++i) {
    const std::vector<unsigned long>& name = request.names[i];
    Bytes value;
    std::optional<long> number;
    bool known = true;
    if (name == At(kDeviceStatus, printer.row)) {
      number = printer.deviceStatus;
      if (printer.fault == Fault::WrongTypes) value = Oid({1, 3, 6, 1});
    } else if (name == At(kPrinterStatus, printer.row)) {
      number = printer.printerStatus;
      if (printer.fault == Fault::WrongTypes) value = Tlv(0x04, "idle");
    } else if (name == At(kErrorState, printer.row)) {
      value = Tlv(0x04, printer.errorState);
    } else {
      known = false;
    }
    if (value.empty() && number) value = Integer(*number);
    if (!known || value.empty()) {
      if (request.version == 0) return Response(request, 2, static_cast<long>(i + 1), {});
      value = Tlv(0x81, "");  // noSuchInstance
    }
    const std::vector<unsigned long>& named =
        name == At(kDeviceStatus, printer.row)   ? At(kDeviceStatus, row)
        : name == At(kPrinterStatus, printer.row) ? At(kPrinterStatus, row)
        : name == At(kErrorState, printer.row)    ? At(kErrorState, row)
                                                  : name;
    bindings += Tlv(0x30, Oid(named) + value);
  }
  Bytes reply = Response(request, 0, 0, bindings);
  if (printer.fault == Fault::Truncated) reply.resize(reply.size() / 2);
  if (printer.fault == Fault::Garbage) reply = "\x30\x82\xff\xff garbage \x02\x01";
  return reply;
}

}  // namespace

SnmpTestAgent::SnmpTestAgent(const std::string& address, Printer printer, std::uint16_t port)
    : printer_(std::move(printer)) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &at.sin_addr);
  socklen_t length = sizeof at;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &length) != 0) {
    return;
  }
  port_ = ntohs(at.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

SnmpTestAgent::~SnmpTestAgent() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) close(fd_);
}

void SnmpTestAgent::Set(const Printer& printer) {
  const std::lock_guard lock(mutex_);
  printer_ = printer;
}

void SnmpTestAgent::JobArrived() {
  const std::lock_guard lock(mutex_);
  if (!jobArrived_) jobArrived_ = Clock::now();
}

void SnmpTestAgent::Rest() {
  const std::lock_guard lock(mutex_);
  jobArrived_.reset();
}

void SnmpTestAgent::Serve() {
  struct Due {
    Clock::time_point at;
    Bytes reply;
    sockaddr_in to;
  };
  std::deque<Due> due;
  while (!stopping_) {
    pollfd readable{fd_, POLLIN, 0};
    if (poll(&readable, 1, 10) > 0) {
      char buffer[4096];
      sockaddr_in from{};
      socklen_t length = sizeof from;
      const ssize_t got = recvfrom(fd_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
      Request request;
      if (got > 0 && Parse(Bytes(buffer, static_cast<std::size_t>(got)), request)) {
        const std::lock_guard lock(mutex_);
        ++requests_;
        if (printer_.ignoreFirst > 0) {
          --printer_.ignoreFirst;
        } else if (printer_.versions.count(request.version)) {
          Printer now = printer_;
          if (jobArrived_ && Clock::now() - *jobArrived_ < printer_.warmUp) now.printerStatus = 5;
          due.push_back({Clock::now() + printer_.delay, Answer(request, now), from});
        }
      }
    }
    while (!due.empty() && due.front().at <= Clock::now()) {
      const Due& reply = due.front();
      sendto(fd_, reply.reply.data(), reply.reply.size(), 0, reinterpret_cast<const sockaddr*>(&reply.to),
             sizeof reply.to);
      due.pop_front();
    }
  }
}

}  // namespace brisakett::testing
