#pragma once

#include <QApplication>

namespace brisakett {

class MsgBox;

// The application object. A failure that no handler catches ends up here:
// the user is shown "Run-time error" with its reason and the program ends
// with a failure status, rather than carrying on in an unknown state.
class BrisakettApplication : public QApplication {
public:
  BrisakettApplication(int& argc, char** argv, MsgBox& msgBox);

  bool notify(QObject* receiver, QEvent* event) override;

private:
  MsgBox& msgBox_;
};

// Shows the report of a run-time error; used by the application object and
// by anything that catches a failure it cannot handle.
void ReportRunTimeError(MsgBox& msgBox, const QString& reason);

}  // namespace brisakett
