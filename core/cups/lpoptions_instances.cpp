#include "cups/lpoptions_instances.h"

#include <cups/file.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

namespace brisakett {
namespace {

// CUPS compares destination names byte by byte, folding ASCII case only.
int CompareIgnoringAsciiCase(const std::string& a, const std::string& b) {
  const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return lower(a[i]) < lower(b[i]) ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool Before(const CupsDest& a, const CupsDest& b) {
  if (const int byQueue = CompareIgnoringAsciiCase(a.queue, b.queue)) return byQueue < 0;
  if (a.instance.empty() != b.instance.empty()) return a.instance.empty();
  return CompareIgnoringAsciiCase(a.instance, b.instance) < 0;
}

// What ends a destination's name and separates it from its options, as
// libcups splits the line (isspace in the C locale); a '/' ends the queue's
// name and starts the instance's.
constexpr std::string_view kQueueEnds = "/ \t\n\v\f\r";
constexpr std::string_view kBlanks = kQueueEnds.substr(1);

CupsDest* Find(std::vector<CupsDest>& dests, const std::string& queue,
               const std::string& instance) {
  for (CupsDest& dest : dests) {
    if (CompareIgnoringAsciiCase(dest.queue, queue) == 0 &&
        CompareIgnoringAsciiCase(dest.instance, instance) == 0) {
      return &dest;
    }
  }
  return nullptr;
}

// The destinations that the "Dest" and "Default" lines of one lpoptions
// file name, in file order. libcups's own reader splits the lines, so that
// comments and "\#" read as libcups reads them. It is also cheaper here than
// a C++ stream: libcups has just read client.conf with it.
std::vector<CupsDest> NamedIn(const std::string& file) {
  std::vector<CupsDest> named;
  cups_file_t* in = cupsFileOpen(file.c_str(), "r");
  if (!in) return named;
  std::array<char, 8192> line;
  char* value = nullptr;
  int lineNumber = 0;
  while (cupsFileGetConf(in, line.data(), line.size(), &value, &lineNumber)) {
    if (!value || (CompareIgnoringAsciiCase(line.data(), "dest") != 0 &&
                   CompareIgnoringAsciiCase(line.data(), "default") != 0)) {
      continue;
    }
    const std::string_view rest(value);
    const std::size_t queueEnd = rest.find_first_of(kQueueEnds);
    CupsDest dest{std::string(rest.substr(0, queueEnd)), {}};
    if (queueEnd != rest.npos && rest[queueEnd] == '/') {
      const std::string_view instance = rest.substr(queueEnd + 1);
      dest.instance = instance.substr(0, instance.find_first_of(kBlanks));
    }
    if (!dest.queue.empty()) named.push_back(std::move(dest));
  }
  cupsFileClose(in);
  return named;
}

}  // namespace

void AddLpoptionsInstances(std::vector<CupsDest>& dests) {
  const char* serverRoot = std::getenv("CUPS_SERVERROOT");
  std::vector<CupsDest> named = NamedIn(std::string(serverRoot ? serverRoot : "/etc/cups") + "/lpoptions");
  if (const char* home = std::getenv("HOME")) {
    const std::vector<CupsDest> own = NamedIn(std::string(home) + "/.cups/lpoptions");
    named.insert(named.end(), own.begin(), own.end());
  }

  // libcups reads these files before the scheduler's list, so the first
  // spelling they give a queue (CUPS names ignore case) is the one shown,
  // and each instance keeps the spelling of its own line.
  std::vector<std::string> respelled;
  for (const CupsDest& line : named) {
    CupsDest* queue = Find(dests, line.queue, "");
    if (!queue) continue;
    const bool seen = std::any_of(respelled.begin(), respelled.end(), [&](const std::string& q) {
      return CompareIgnoringAsciiCase(q, line.queue) == 0;
    });
    if (!seen) {
      queue->queue = line.queue;
      respelled.push_back(line.queue);
    }
    if (!line.instance.empty() && !Find(dests, line.queue, line.instance)) dests.push_back(line);
  }
  std::stable_sort(dests.begin(), dests.end(), Before);
}

}  // namespace brisakett
