#pragma once

#include <cups/cups.h>

#include <string>

namespace brisakett {

// Where an IPP conversation goes: a print server, or a printer that
// speaks IPP itself. `host` is a name, an address, or a domain socket's
// path.
struct IppEndpoint {
  std::string host;
  int port = 631;
  http_encryption_t encryption = HTTP_ENCRYPTION_IF_REQUESTED;

  // The print server that CUPS_SERVER, client.conf or the local default
  // name gives, with the encryption CUPS_ENCRYPTION asks for.
  static IppEndpoint DefaultServer() {
    return {cupsServer(), ippPort(), cupsEncryption()};
  }
  // The print server named as `lp -h` takes it ("HOST", "HOST:PORT",
  // "[V6]:PORT", a socket's path), or the default one for an empty name.
  static IppEndpoint Server(const std::string& named);
  bool IsSocket() const { return !host.empty() && host[0] == '/'; }
  // As the user knows it: its host name, or "localhost" for the local
  // scheduler's socket.
  std::string Name() const { return host.empty() || IsSocket() ? "localhost" : host; }
  // As it was given, to tell servers apart: the socket's path, or the host
  // with its port when that is not IPP's own.
  std::string AsGiven() const;
};

}  // namespace brisakett
