#include "print_server.h"

#include "cups/ipp_endpoint.h"

namespace brisakett {

// Every queue a run reaches is on the one server its connections go to.
std::string PrintServerOf(const std::string&) { return IppEndpoint::DefaultServer().AsGiven(); }

std::string PrintServerLabel(const std::string& named) { return IppEndpoint::Server(named).AsGiven(); }

}  // namespace brisakett
