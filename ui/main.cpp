#include <csignal>
#include <exception>

#include "brisakett_application.h"
#include "form1.h"
#include "msg_box.h"
#include "system_services.h"
#ifdef _WIN32
#include "win32/process_end.h"
#endif

int main(int argc, char** argv) {
#ifdef SIGPIPE
  // A print server that goes away mid-request must be a failure to report,
  // not a SIGPIPE that ends the program without a word.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  // First, so that the print server's first answers travel while Qt starts.
  brisakett::SystemServices system;
  brisakett::MsgBox msgBox;
  brisakett::BrisakettApplication app(argc, argv, msgBox);

  // Loading the window runs before the event loop, so a failure there is
  // reported here the way the application object reports a handler's.
  try {
    brisakett::Form1 form(system.With(msgBox));
    form.show();
    const int status = app.exec();
#ifdef _WIN32
    // Calls left behind at a deadline may still wait on a print server.
    brisakett::EndProcessNow(status);
#endif
    return status;
  } catch (const std::exception& error) {
    brisakett::ReportRunTimeError(msgBox, QString::fromUtf8(error.what()));
    return EXIT_FAILURE;
  }
}
