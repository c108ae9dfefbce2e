#include "metrics_file.h"

#include <charconv>
#include <string_view>

namespace brisakett {
namespace {

// The length of the well-formed UTF-8 sequence that `text` starts with
// (Unicode's table of them: no overlong forms, surrogates or values past
// U+10FFFF), or 0.
std::size_t Utf8SequenceLength(std::string_view text) {
  const auto byte = [&text](std::size_t at) {
    return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u;
  };
  const unsigned lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  for (std::size_t at = 1; at < length; ++at) {
    const unsigned next = byte(at);
    if (next < (at == 1 ? low : 0x80) || next > (at == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

// A label value as the format wants it: UTF-8 (a name given in other bytes
// gets U+FFFD for each of them, rather than making the whole file
// unreadable), with backslash, double quote and line feed escaped.
std::string LabelValue(std::string_view text) {
  std::string value;
  while (!text.empty()) {
    const std::size_t length = Utf8SequenceLength(text);
    if (length == 0) {
      value += "\xEF\xBF\xBD";
      text.remove_prefix(1);
      continue;
    }
    const char c = text.front();
    if (c == '\\' || c == '"') {
      value += '\\';
      value += c;
    } else if (c == '\n') {
      value += "\\n";
    } else {
      value.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
  return value;
}

// Whatever the locale.
std::string Number(double value) {
  char text[40];
  const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3);
  return std::string(text, written.ptr);
}

// One metric: its HELP and TYPE lines, then its samples; nothing at all
// without samples.
void AddFamily(std::string& text, const std::string& name, const char* help,
               const std::string& samples) {
  if (samples.empty()) return;
  text += "# HELP " + name + " " + help + "\n# TYPE " + name + " gauge\n" + samples;
}

// One sample of a printer's metric, labelled (server, printer) and with
// its outcome when given.
std::string PrinterSample(const char* metric, const std::pair<std::string, std::string>& labels,
                          const char* outcome, const std::string& value) {
  std::string sample = std::string("brisakett_printer_") + metric + "{printer=\"" + labels.second +
                       "\",server=\"" + labels.first + "\"";
  if (outcome) sample += std::string(",outcome=\"") + outcome + "\"";
  return sample + "} " + value + "\n";
}

// The spooler confirmed that it has the whole job, or, once followed, that
// the printer has it.
bool SpoolerConfirmed(WakeOutcome outcome) {
  return outcome == WakeOutcome::Sent || outcome == WakeOutcome::Delivered ||
         outcome == WakeOutcome::Ready || outcome == WakeOutcome::WarmingUp ||
         outcome == WakeOutcome::NeedsAttention;
}

}  // namespace

void MetricsFile::Add(const PrinterWakeReport& report) {
  ++counts_[report.outcome];
  // Two names that differ only in bytes that are not UTF-8 would be one
  // series, which a scrape refuses: the first stays.
  printers_.emplace(std::pair{LabelValue(report.server), LabelValue(report.name)}, report);
}

std::string MetricsFile::Text(int exitStatus, std::chrono::system_clock::time_point ended,
                              std::chrono::steady_clock::duration took) const {
  std::string outcomes, delivered, ready, readySeconds;
  for (const auto& [labels, report] : printers_) {
    outcomes += PrinterSample("outcome", labels, OutcomeKeyword(report.outcome), "1");
    if (SpoolerConfirmed(report.outcome)) {
      delivered += PrinterSample("delivered_seconds", labels, nullptr, Number(report.seconds));
    }
    if (!followed_) continue;
    const bool isReady = report.outcome == WakeOutcome::Ready;
    ready += PrinterSample("ready", labels, nullptr, isReady ? "1" : "0");
    if (report.readySeconds) {
      readySeconds += PrinterSample("ready_seconds", labels, nullptr, Number(*report.readySeconds));
    }
  }
  std::string counts;
  // Every outcome, those no printer had as 0, so that a rule finds each.
  for (int outcome = 0; outcome <= static_cast<int>(WakeOutcome::Unreachable); ++outcome) {
    const auto counted = counts_.find(static_cast<WakeOutcome>(outcome));
    counts += std::string("brisakett_run_printers{outcome=\"") +
              OutcomeKeyword(static_cast<WakeOutcome>(outcome)) + "\"} " +
              std::to_string(counted == counts_.end() ? 0 : counted->second) + "\n";
  }

  std::string text;
  AddFamily(text, "brisakett_printer_outcome",
            "What became of the printer's wake-up: 1, with the outcome brisakett-send reports.",
            outcomes);
  AddFamily(text, "brisakett_printer_delivered_seconds",
            "Seconds from submitting the job to the spooler's word that it has the whole job "
            "(sent) or, with --wait, that the printer has it.",
            delivered);
  AddFamily(text, "brisakett_printer_ready",
            "With --wait: 1 when the printer reported itself ready, else 0.", ready);
  AddFamily(text, "brisakett_printer_ready_seconds",
            "With --wait: seconds from submitting the job to the printer's report that it is "
            "ready.",
            readySeconds);
  AddFamily(text, "brisakett_run_timestamp_seconds",
            "When the wake-up run ended, in seconds since 1970-01-01 UTC.",
            "brisakett_run_timestamp_seconds " +
                Number(std::chrono::duration<double>(ended.time_since_epoch()).count()) + "\n");
  AddFamily(text, "brisakett_run_duration_seconds", "How long the wake-up run took, in seconds.",
            "brisakett_run_duration_seconds " +
                Number(std::chrono::duration<double>(took).count()) + "\n");
  AddFamily(text, "brisakett_run_exit_status", "brisakett-send's exit status for the run.",
            "brisakett_run_exit_status " + std::to_string(exitStatus) + "\n");
  AddFamily(text, "brisakett_run_printers", "How many printers of the run had each outcome.",
            counts);
  return text;
}

}  // namespace brisakett
