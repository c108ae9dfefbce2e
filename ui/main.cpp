#include <csignal>
#include <exception>

#include "brisakett_application.h"
#include "form1.h"
#include "msg_box.h"
#include "system_services.h"

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
    return app.exec();
  } catch (const std::exception& error) {
    brisakett::ReportRunTimeError(msgBox, QString::fromUtf8(error.what()));
    return EXIT_FAILURE;
  }
}
