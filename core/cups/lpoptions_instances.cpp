#include "cups/lpoptions_instances.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

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

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// As libcups reads a configuration line: a '#' starts a comment, and "\#"
// stands for a '#' that belongs to the line.
void StripComment(std::string& line) {
  for (std::size_t at = 0; at < line.size(); ++at) {
    if (line[at] == '\\' && at + 1 < line.size() && line[at + 1] == '#') {
      line.erase(at, 1);
    } else if (line[at] == '#') {
      line.erase(at);
      return;
    }
  }
}

// The destinations that the "Dest" and "Default" lines of one lpoptions
// file name, in file order.
std::vector<CupsDest> NamedIn(const std::string& file) {
  std::vector<CupsDest> named;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    StripComment(line);
    std::size_t at = 0;
    while (at < line.size() && IsBlank(line[at])) ++at;
    const std::size_t keywordEnd =
        std::find_if(line.begin() + at, line.end(), IsBlank) - line.begin();
    const std::string keyword = line.substr(at, keywordEnd - at);
    if (CompareIgnoringAsciiCase(keyword, "dest") != 0 &&
        CompareIgnoringAsciiCase(keyword, "default") != 0) {
      continue;
    }
    at = keywordEnd;
    while (at < line.size() && IsBlank(line[at])) ++at;
    const std::size_t queueEnd =
        std::find_if(line.begin() + at, line.end(),
                     [](char c) { return IsBlank(c) || c == '/'; }) -
        line.begin();
    CupsDest dest{line.substr(at, queueEnd - at), {}};
    if (queueEnd < line.size() && line[queueEnd] == '/') {
      const std::size_t instanceEnd =
          std::find_if(line.begin() + queueEnd + 1, line.end(), IsBlank) - line.begin();
      dest.instance = line.substr(queueEnd + 1, instanceEnd - queueEnd - 1);
    }
    if (!dest.queue.empty()) named.push_back(std::move(dest));
  }
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
