#include "win32/spooler_error.h"

#include "print_server.h"

#include <windows.h>

#include "win32/system_error_text.h"

namespace brisakett {
namespace {

// The spooler reaches a print server over RPC on named pipes or TCP; these
// are the ways that transport says the server is down, unknown on the
// network, or dropped the call.
bool ServerLost(unsigned long code) {
  switch (code) {
    case RPC_S_SERVER_UNAVAILABLE:
    case RPC_S_SERVER_TOO_BUSY:
    case RPC_S_CALL_FAILED:
    case RPC_S_CALL_FAILED_DNE:
    case RPC_S_CALL_CANCELLED:
    case RPC_S_COMM_FAILURE:
    case RPC_S_UNKNOWN_IF:
    case ERROR_BAD_NETPATH:
    case ERROR_REM_NOT_LIST:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_CONNECTION_REFUSED:
    case ERROR_CONNECTION_ABORTED:
    case ERROR_SEM_TIMEOUT:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string PrintServerLabel(const std::string& named) { return named; }

std::string PrintServerOf(const std::string& deviceName) {
  if (deviceName.size() > 2 && deviceName[0] == '\\' && deviceName[1] == '\\') {
    const std::string server = deviceName.substr(2, deviceName.find('\\', 2) - 2);
    if (!server.empty()) return server;
  }
  return "localhost";
}

SpoolerFailure SpoolerFailureOf(unsigned long code, const std::string& server) {
  // Some spooler functions (Wine's among them) fail without setting an
  // error; "The operation completed successfully" would be no reason.
  const std::string said = code == ERROR_SUCCESS
                               ? "The print server " + server + " refused without giving a reason."
                               : SystemErrorText(code);
  if (ServerLost(code)) {
    return ServerAnswer{ServerVerdict::Unreachable,
                        "The print server " + server + " cannot be reached: " + said};
  }
  // A printer deleted since the list was read is as unknown as a mistyped one.
  const bool unknown = code == ERROR_INVALID_PRINTER_NAME || code == ERROR_PRINTER_DELETED;
  return {ServerAnswer{ServerVerdict::Refused, said}, unknown};
}

ServerAnswer SpoolerTimedOut(const std::string& server) {
  return {ServerVerdict::TimedOut, NoAnswerInTime(server)};
}

}  // namespace brisakett
