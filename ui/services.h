#pragma once

namespace brisakett {

class CurrentPrinter;
class MsgBox;
class RunPasswords;
class PrinterCatalog;
class ProcessStarter;
class Registry;
class Spooler;

// What the windows reach of the operating system, handed down from main
// so that tests can hand in a private spooler or a fake registry.
struct Services {
  const PrinterCatalog& printers;
  Spooler& spooler;
  CurrentPrinter& printer;  // the application's current printer
  Registry& registry;
  ProcessStarter& processes;
  MsgBox& msgBox;
  // The passwords a press was given, forgotten when it ends; none for a
  // spooler that asks for none.
  RunPasswords* passwords;
};

}  // namespace brisakett
