#pragma once

#include <string_view>

namespace brisakett {

// Where brisakett-send writes its answers and reports: standard output or
// standard error, or a string in the tests. Not a C++ stream: setting up
// the streams' locale costs every start of the program about half a
// millisecond, and a script may start it once for every printer.
class TextOutput {
public:
  virtual ~TextOutput() = default;

  // Writes `text` out at once, unbuffered. Callers pass whole lines, so
  // that a script reading the report sees each printer's line as soon as
  // that printer is done.
  virtual void Write(std::string_view text) = 0;
};

}  // namespace brisakett
