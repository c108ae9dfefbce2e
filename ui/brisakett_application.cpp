#include "brisakett_application.h"

#include <exception>

#include "messages.h"
#include "msg_box.h"

namespace brisakett {

BrisakettApplication::BrisakettApplication(int& argc, char** argv, MsgBox& msgBox)
    : QApplication(argc, argv), msgBox_(msgBox) {
  setApplicationName(QString::fromUtf8(messages::kAppTitle));
  setApplicationVersion(QString::fromUtf8(messages::kVersion));
  // Lets Wayland shells match the window to its menu entry and icon.
  setDesktopFileName(QStringLiteral(BRISAKETT_APP_ID));
}

bool BrisakettApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ReportRunTimeError(msgBox_, QString::fromUtf8(error.what()));
  } catch (...) {
    ReportRunTimeError(msgBox_, "An unknown failure occurred.");
  }
  exit(EXIT_FAILURE);
  return false;
}

void ReportRunTimeError(MsgBox& msgBox, const QString& reason) {
  msgBox.Show(nullptr, "Run-time error\n" + reason);
}

}  // namespace brisakett
