#include "cups/ipp_endpoint.h"

#include <cctype>

namespace brisakett {
namespace {

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

// As cupsSetServer reads it: a port after the last ':' when that ':' does
// not belong to a bare IPv6 address.
IppEndpoint IppEndpoint::Server(const std::string& named) {
  if (named.empty()) return DefaultServer();
  IppEndpoint endpoint{named, 631, cupsEncryption()};
  if (endpoint.IsSocket()) return endpoint;
  const std::size_t colon = named.rfind(':');
  const bool bracketed = named.front() == '[';
  if (colon != std::string::npos && (bracketed ? colon > named.find(']') : named.find(':') == colon) &&
      AllDigits(named.substr(colon + 1))) {
    endpoint.host = named.substr(0, colon);
    endpoint.port = std::stoi(named.substr(colon + 1));
  }
  if (endpoint.host.size() > 2 && endpoint.host.front() == '[' && endpoint.host.back() == ']') {
    endpoint.host = endpoint.host.substr(1, endpoint.host.size() - 2);
  }
  return endpoint;
}

std::string IppEndpoint::AsGiven() const {
  if (host.empty()) return "localhost";
  if (IsSocket() || port == 631) return host;
  const bool bareSix = host.find(':') != std::string::npos && host.front() != '[';
  return (bareSix ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace brisakett
