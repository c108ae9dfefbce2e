// capture-printer: a stand-in network printer for trying the program
// without one. Each job it receives is shown on standard output.
//
//   capture-printer [--port N] [--port-file FILE]
//
// Runs until SIGINT or SIGTERM. --port 0 (the default) picks a free port;
// --port-file writes the chosen port there once it is listening.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "capture_server.h"
#include "job_dump.h"

namespace {

int Usage() {
  std::fputs("usage: capture-printer [--port N] [--port-file FILE]\n", stderr);
  return 2;
}

// Written under a temporary name first so a reader never sees half a number.
bool WritePortFile(const std::filesystem::path& file, std::uint16_t port) {
  const std::filesystem::path partial = file.string() + ".partial";
  {
    std::ofstream out(partial);
    out << port << '\n';
    if (!out) return false;
  }
  std::error_code error;
  std::filesystem::rename(partial, file, error);
  return !error;
}

}  // namespace

int main(int argc, char** argv) {
  unsigned long port = 0;
  std::string portFile;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--port" && i + 1 < argc) {
      char* end = nullptr;
      port = std::strtoul(argv[++i], &end, 10);
      if (*end != '\0' || port > 65535) return Usage();
    } else if (argument == "--port-file" && i + 1 < argc) {
      portFile = argv[++i];
    } else {
      return Usage();
    }
  }

  // Blocked before the server's thread starts, so only sigwait sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    brisakett::tools::CaptureServer server(
        static_cast<std::uint16_t>(port), [](std::size_t number, const std::string& bytes) {
          const std::string text = brisakett::tools::DescribeJob(number, bytes);
          std::fwrite(text.data(), 1, text.size(), stdout);
          std::fflush(stdout);
        });
    std::printf("listening on 127.0.0.1:%u\n", static_cast<unsigned>(server.Port()));
    std::fflush(stdout);
    if (!portFile.empty() && !WritePortFile(portFile, server.Port())) {
      std::fprintf(stderr, "capture-printer: cannot write %s\n", portFile.c_str());
      return 1;
    }

    int received = 0;
    sigwait(&stopSignals, &received);
  } catch (const std::runtime_error& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return 0;
}
