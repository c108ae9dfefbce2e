#pragma once

#include <cstdint>

namespace brisakett::testing {

// A TCP socket listening on 127.0.0.1 at a port the kernel chose, which
// goes to `port`; -1 when none could be had.
int ListenOnLoopback(std::uint16_t& port);

// A connection to 127.0.0.1:port; -1 when nobody listens there.
int ConnectToLoopback(std::uint16_t port);

}  // namespace brisakett::testing
