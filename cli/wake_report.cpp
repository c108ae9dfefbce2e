#include "wake_report.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>


namespace brisakett {
namespace {

// A field of a text line holds no tab or line break, so that every line
// splits into the same fields.
std::string Field(const std::string& text) {
  if (text.empty()) return "-";
  std::string field = text;
  std::replace_if(
      field.begin(), field.end(),
      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }, ' ');
  return field;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", seconds);
  return text;
}

}  // namespace

void WakeReportWriter::Add(const PrinterWakeReport& report) {
  ++counts_[report.outcome];
  exitStatus_ = WorseExitStatus(exitStatus_, ExitStatusOf(report.outcome));

  if (json_) {
    const auto orNull = [](const std::string& text) {
      return text.empty() ? nlohmann::json() : nlohmann::json(text);
    };
    nlohmann::json line = {
        {"name", orNull(report.name)},
        {"server", orNull(report.server)},
        {"outcome", OutcomeKeyword(report.outcome)},
        {"job_id", report.jobId > 0 ? nlohmann::json(report.jobId) : nlohmann::json()},
        {"reason", report.reason},
        {"seconds", std::round(report.seconds * 1000) / 1000},
        {"ready_seconds", report.readySeconds
                              ? nlohmann::json(std::round(*report.readySeconds * 1000) / 1000)
                              : nlohmann::json()},
        {"device_status",
         report.deviceStatus.empty() ? nlohmann::json() : nlohmann::json(report.deviceStatus)},
        {"cancelled", report.cancelled},
    };
    // Names and reasons come from the spooler as bytes; any that are not
    // UTF-8 are replaced rather than ending the report.
    out_.Write(line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
    return;
  }
  std::string reason = report.reason;
  if (report.cancelled) reason += reason.empty() ? "job cancelled" : "; job cancelled";
  out_.Write(Field(report.name) + '\t' + OutcomeKeyword(report.outcome) + '\t' +
             (report.jobId > 0 ? std::to_string(report.jobId) : "-") + '\t' +
             Seconds(report.readySeconds.value_or(report.seconds)) + '\t' + Field(reason) +
             (serverField_ ? '\t' + Field(report.server) : std::string()) + '\n');
}

void WakeReportWriter::Finish() {
  if (json_) return;
  int printers = 0;
  std::string parts;
  for (const auto& [outcome, count] : counts_) {
    printers += count;
    parts += ", " + std::to_string(count) + " " + OutcomeKeyword(outcome);
  }
  out_.Write("summary: " + std::to_string(printers) + (printers == 1 ? " printer" : " printers") +
             parts + "\n");
}

}  // namespace brisakett
