// A failure that escapes an event handler must not leave the program
// running in an unknown state: the user is told, and the program ends with
// a failure status. Runs its own application object, so it has its own main.

#include <QTimer>
#include <cstdio>
#include <stdexcept>

#include "brisakett_application.h"
#include "recording_msg_box.h"

int main(int argc, char** argv) {
  brisakett::testing::RecordingMsgBox msgBox;
  brisakett::BrisakettApplication app(argc, argv, msgBox);

  bool handlerAfterTheFailureRan = false;
  QTimer::singleShot(0, [] { throw std::runtime_error("printer objects unavailable"); });
  QTimer::singleShot(2000, [&] { handlerAfterTheFailureRan = true; app.exit(0); });

  const int status = app.exec();
  const QStringList expected{"Run-time error\nprinter objects unavailable"};
  if (status == 0 || msgBox.texts != expected || handlerAfterTheFailureRan) {
    std::fprintf(stderr, "FAIL: status %d, messages [%s]\n", status,
                 qPrintable(msgBox.texts.join(" | ")));
    return 1;
  }
  if (app.applicationName() != "Brisakett" || app.applicationVersion() != "1.00") {
    std::fprintf(stderr, "FAIL: application %s %s\n", qPrintable(app.applicationName()),
                 qPrintable(app.applicationVersion()));
    return 1;
  }
  std::puts("1 passed, 0 failed");
  return 0;
}
