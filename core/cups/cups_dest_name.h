#pragma once

#include <string>
#include <string_view>

#include <cups/cups.h>

namespace brisakett {

// "queue" or "queue/instance", the way lpstat names a destination.
inline std::string CupsDestName(std::string queue, std::string_view instance) {
  if (!instance.empty()) {
    queue += '/';
    queue += instance;
  }
  return queue;
}

inline std::string CupsDestName(const cups_dest_t& dest) {
  return CupsDestName(dest.name, dest.instance ? dest.instance : "");
}

// The queue a device name stands for: "queue/instance" is its queue again
// to the scheduler (CUPS names cannot hold '/').
inline std::string CupsQueueOf(const std::string& deviceName) {
  return deviceName.substr(0, deviceName.find('/'));
}

// The queue's address on the scheduler, as lp gives it: "localhost", since
// the scheduler is the one the connection reached.
inline std::string CupsQueueUri(const std::string& queue) {
  char uri[HTTP_MAX_URI];
  httpAssembleURIf(HTTP_URI_CODING_ALL, uri, sizeof(uri), "ipp", nullptr, "localhost", ippPort(),
                   "/printers/%s", queue.c_str());
  return uri;
}

}  // namespace brisakett
