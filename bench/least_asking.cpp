#include "least_asking.h"

#include <cups/cups.h>

#include "cups/cups_connection.h"
#include "cups/cups_printer_catalog.h"

namespace brisakett::bench {

SchedulerAnswers AskTheLeastWay() {
  const SpoolerLogin login;
  Deadline deadline(kServerPatience);
  SchedulerAnswers answers;
  {
    CupsConnection scheduler(deadline, login);
    ipp_t* request = ippNewRequest(IPP_OP_CUPS_GET_DEFAULT);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
                 "printer-name");
    if (ipp_t* reply = scheduler.Exchange(request, "/")) {
      if (const char* name = ippGetString(ippFindAttribute(reply, "printer-name", IPP_TAG_NAME),
                                          0, nullptr)) {
        answers.defaultName = name;
      }
      ippDelete(reply);
    }
  }
  answers.names = CupsPrinterCatalog(login).DeviceNames(deadline).value;
  return answers;
}

}  // namespace brisakett::bench
