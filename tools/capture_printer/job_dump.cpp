#include "job_dump.h"

#include <cstdio>

namespace brisakett::tools {
namespace {

bool Printable(unsigned char c) { return c >= 0x20 && c < 0x7f; }

// Sixteen bytes a line: offset, hex, and the printable ones beside them.
void AppendHexDump(std::string& out, std::string_view bytes) {
  char cell[24];
  for (std::size_t line = 0; line < bytes.size(); line += 16) {
    std::snprintf(cell, sizeof cell, "%08zx  ", line);
    out += cell;
    std::string text;
    for (std::size_t i = line; i < line + 16; ++i) {
      if (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::snprintf(cell, sizeof cell, "%02x ", c);
        out += cell;
        text += Printable(c) ? static_cast<char>(c) : '.';
      } else {
        out += "   ";
      }
      if (i == line + 7) out += ' ';
    }
    out += " |" + text + "|\n";
  }
}

void AppendText(std::string& out, std::string_view bytes) {
  char cell[8];
  for (const char raw : bytes) {
    const auto c = static_cast<unsigned char>(raw);
    if (Printable(c)) {
      out += static_cast<char>(c);
    } else if (c == 0x1b) {
      out += "<ESC>";
    } else if (c == '\r') {
      out += "<CR>";
    } else if (c == '\n') {
      out += "<LF>\n";
    } else {
      std::snprintf(cell, sizeof cell, "<0x%02x>", c);
      out += cell;
    }
  }
  if (!bytes.empty() && bytes.back() != '\n') out += '\n';
}

}  // namespace

std::string DescribeJob(std::size_t number, std::string_view bytes) {
  std::string out = "job " + std::to_string(number) + ": " + std::to_string(bytes.size()) +
                    (bytes.size() == 1 ? " byte\n" : " bytes\n");
  AppendHexDump(out, bytes);
  out += "text:\n";
  AppendText(out, bytes);
  return out;
}

}  // namespace brisakett::tools
