#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace brisakett {

// A printer opened through the spooler. Destroying it closes it; a
// document that was started and not ended by then is the caller's fault
// and is cancelled by Abort, not by the destructor.
class SpoolerPrinter {
public:
  virtual ~SpoolerPrinter() = default;

  virtual bool StartDoc(const std::string& documentName) = 0;
  virtual bool StartPage() = 0;
  // `written` receives how many bytes the spooler took.
  virtual bool Write(std::string_view data, std::size_t& written) = 0;
  virtual bool EndPage() = 0;
  virtual bool EndDoc() = 0;
  // Removes the document begun by StartDoc from the spooler, so that no
  // half job stays queued. Does nothing when no document was begun.
  virtual void Abort() = 0;

  // The spooler's own words for why the last failed call failed.
  virtual std::string LastError() const = 0;

  // The spooler's number for the job StartDoc began; 0 before that.
  virtual int JobId() const { return 0; }
};

class Spooler {
public:
  virtual ~Spooler() = default;

  // Opens the printer with that device name; null when the spooler does not
  // know it or cannot be reached.
  virtual std::unique_ptr<SpoolerPrinter> Open(const std::string& deviceName) = 0;
};

}  // namespace brisakett
