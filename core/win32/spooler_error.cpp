#include "win32/spooler_error.h"

#include "print_server.h"

#include <windows.h>

#include "win32/system_error_text.h"

namespace brisakett {
namespace {

enum class Meaning { Refusal, WantsPassword, ServerLost, NotAPrinter };

Meaning MeaningOf(unsigned long code, bool connection) {
  switch (code) {
    // The spooler reaches a print server over RPC on named pipes or TCP;
    // these are the ways that transport says the server is down, unknown
    // on the network, has no spooler listening (EPT_S_NOT_REGISTERED), or
    // dropped the call.
    case RPC_S_SERVER_UNAVAILABLE:
    case RPC_S_SERVER_TOO_BUSY:
    case RPC_S_CALL_FAILED:
    case RPC_S_CALL_FAILED_DNE:
    case RPC_S_CALL_CANCELLED:
    case RPC_S_COMM_FAILURE:
    case RPC_S_UNKNOWN_IF:
    case EPT_S_NOT_REGISTERED:
    case ERROR_BAD_NETPATH:
    case ERROR_REM_NOT_LIST:
    case ERROR_NETNAME_DELETED:
    case ERROR_UNEXP_NET_ERR:
    case ERROR_NETWORK_UNREACHABLE:
    case ERROR_HOST_UNREACHABLE:
    case ERROR_CONNECTION_REFUSED:
    case ERROR_CONNECTION_ABORTED:
    case ERROR_SEM_TIMEOUT:
      return Meaning::ServerLost;
    // The server checked the user's credentials and did not take them.
    case ERROR_LOGON_FAILURE:
    case ERROR_PASSWORD_EXPIRED:
    case ERROR_PASSWORD_MUST_CHANGE:
      return Meaning::WantsPassword;
    // No print provider took the name. For a connection that is also the
    // answer when its server cannot be reached at all, and every name the
    // program opens was on the spooler's list a moment before: the server
    // is lost (or no longer shares the printer), the name is no typo.
    case ERROR_INVALID_PRINTER_NAME:
      return connection ? Meaning::ServerLost : Meaning::NotAPrinter;
    // A printer deleted since the list was read is as unknown as a mistyped one.
    case ERROR_PRINTER_DELETED:
      return Meaning::NotAPrinter;
    default:
      return Meaning::Refusal;
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
  switch (MeaningOf(code, server != "localhost")) {
    case Meaning::ServerLost:
      return ServerAnswer{ServerVerdict::Unreachable,
                          code == ERROR_INVALID_PRINTER_NAME
                              ? "The print server " + server +
                                    " cannot be reached, or no longer shares this printer: " + said
                              : "The print server " + server + " cannot be reached: " + said};
    case Meaning::WantsPassword:
      return ServerAnswer{ServerVerdict::WantsPassword, said};
    case Meaning::NotAPrinter:
      return {ServerAnswer{ServerVerdict::Refused, said}, true};
    case Meaning::Refusal:
      break;
  }
  return ServerAnswer{ServerVerdict::Refused, said};
}

ServerAnswer SpoolerTimedOut(const std::string& server) {
  return {ServerVerdict::TimedOut, NoAnswerInTime(server)};
}

}  // namespace brisakett
