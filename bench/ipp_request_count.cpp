#include "ipp_request_count.h"

#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace brisakett::bench {

std::vector<std::string> LoggedOperations(const std::string& accessLog) {
  // localhost - root [date] "POST / HTTP/1.1" 200 253 CUPS-Get-Printers successful-ok
  std::vector<std::string> operations;
  std::ifstream in(accessLog);
  for (std::string line; std::getline(in, line);) {
    const std::size_t request = line.find("\"POST ");
    if (request == std::string::npos) continue;
    std::istringstream rest(line.substr(line.find('"', request + 1) + 1));
    std::string status, size, operation;
    if (rest >> status >> size >> operation && operation != "-") operations.push_back(operation);
  }
  return operations;
}

std::string DescribeOperations(const std::vector<std::string>& operations) {
  std::map<std::string, int> counts;
  for (const std::string& operation : operations) ++counts[operation];
  std::string text = std::to_string(operations.size()) + ":";
  const char* separator = " ";
  for (const auto& [operation, count] : counts) {
    text += separator + operation + (count > 1 ? " x" + std::to_string(count) : "");
    separator = ", ";
  }
  return text;
}

std::string DescribeOperationsSince(const std::string& accessLog, std::size_t from) {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::vector<std::string> operations = LoggedOperations(accessLog);
  return DescribeOperations({operations.begin() + static_cast<std::ptrdiff_t>(from), operations.end()});
}

}  // namespace brisakett::bench
