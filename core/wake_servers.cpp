#include "wake_servers.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>

#include "messages.h"
#include "wake_targets.h"

namespace brisakett {
namespace {

// What one server lists, or why it could not be asked.
struct Listed {
  ServerAnswer failure;
  std::vector<std::string> names;
};

Listed List(const ServerOfRun& server, bool all) {
  Deadline deadline(kServerPatience);
  const SpoolerAnswer<std::vector<std::string>> listed =
      all ? AllWakeTargets(server.printers, deadline) : server.printers.DeviceNames(deadline);
  if (!listed.Answered()) return {listed, {}};
  return {{}, listed.value};
}

// Runs `each(i)` for every server on a thread of its own and waits for all.
template <typename Each>
void OnEveryServer(std::size_t servers, Each each) {
  std::vector<std::thread> threads;
  threads.reserve(servers);
  for (std::size_t i = 0; i < servers; ++i) threads.emplace_back([&each, i] { each(i); });
  for (std::thread& thread : threads) thread.join();
}

}  // namespace

void WakeOnServers(const std::vector<ServerOfRun>& servers, bool all,
                   const std::vector<std::string>& names, const WakeSettings& settings,
                   const std::function<void(const PrinterWakeReport&)>& finished) {
  std::mutex reporting;
  const auto report = [&](PrinterWakeReport done, const std::string& server) {
    done.server = server;
    const std::lock_guard lock(reporting);
    finished(done);
  };

  std::vector<Listed> lists(servers.size());
  OnEveryServer(servers.size(), [&](std::size_t i) { lists[i] = List(servers[i], all); });

  const std::vector<std::string> wanted = EachOnce(names);
  std::vector<std::vector<std::string>> targets(servers.size());
  for (std::size_t i = 0; i < servers.size(); ++i) {
    const Listed& listed = lists[i];
    if (!listed.failure.Answered()) {
      // Nothing on this server is known: the server itself, or each
      // printer that may be on it, says why.
      for (const std::string& name : all ? std::vector<std::string>{""} : wanted) {
        report({name, OutcomeOfFailure(listed.failure), 0, listed.failure.reason}, servers[i].label);
      }
      continue;
    }
    for (const std::string& name : all ? listed.names : wanted) {
      if (all || std::find(listed.names.begin(), listed.names.end(), name) != listed.names.end()) {
        targets[i].push_back(name);
      }
    }
  }
  for (const std::string& name : wanted) {
    const bool somewhere = std::any_of(targets.begin(), targets.end(), [&](const auto& onServer) {
      return std::find(onServer.begin(), onServer.end(), name) != onServer.end();
    });
    const bool anUnaskedServer = std::any_of(lists.begin(), lists.end(),
                                             [](const Listed& listed) { return !listed.failure.Answered(); });
    if (!somewhere && !anUnaskedServer) {
      report({name, WakeOutcome::NotRecognized, 0, messages::kPrinterNotRecognized}, "");
    }
  }

  OnEveryServer(servers.size(), [&](std::size_t i) {
    if (targets[i].empty()) return;
    const ServerOfRun& server = servers[i];
    WakeSettings onServer = settings;
    onServer.checkNames = false;  // just read from its list
    onServer.locator = server.locator;
    onServer.shared.reset();
    WakePrinters(targets[i], server.printers, server.spooler, server.watcher, onServer,
                 [&](const PrinterWakeReport& done) { report(done, server.label); });
  });
}

}  // namespace brisakett
