#include <iostream>

#include "send_command.h"
#include "system_printing.h"

int main(int argc, char** argv) {
  const auto printers = brisakett::MakeSystemPrinterCatalog();
  const auto spooler = brisakett::MakeSystemSpooler();
  return brisakett::RunSendCommand({argv + 1, argv + argc}, *printers, *spooler, std::cout,
                                   std::cerr);
}
