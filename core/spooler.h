#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "deadline.h"
#include "server_answer.h"

namespace brisakett {

// How a call to the spooler failed: the server's verdict, and whether its
// refusal was that it does not know the printer.
struct SpoolerFailure : ServerAnswer {
  bool unknownPrinter = false;

  SpoolerFailure() : ServerAnswer{ServerVerdict::Refused, {}} {}
  SpoolerFailure(ServerAnswer answer, bool unknown = false)  // NOLINT: a verdict is a failure
      : ServerAnswer(std::move(answer)), unknownPrinter(unknown) {}
};

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
  // True only when the spooler confirmed it has the whole job.
  virtual bool EndDoc() = 0;
  // Removes the document begun by StartDoc from the spooler, so that no
  // half job stays queued. Does nothing when no document was begun.
  virtual void Abort() = 0;

  // The spooler's number for the job begun by StartDoc; 0 before that.
  virtual int JobId() const = 0;

  // How the last failed call failed, in the spooler's own words.
  virtual SpoolerFailure LastFailure() const = 0;
};

class Spooler {
public:
  virtual ~Spooler() = default;

  // Opens the printer with that device name; null, with why in `failure`,
  // when the spooler does not know it or cannot be asked.
  virtual std::unique_ptr<SpoolerPrinter> Open(const std::string& deviceName, Deadline& deadline,
                                               SpoolerFailure& failure) = 0;
};

}  // namespace brisakett
