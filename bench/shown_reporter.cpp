// Linked into a probe program: when BRISAKETT_PROBE_REPORT names a file,
// the first top-level window to be shown is reported there once the event
// loop has turned after its show event, and the program then quits.
//
// The report is one line:
//   SHOWN_NS PEAK_KB ITEMS CURRENT
// SHOWN_NS is CLOCK_MONOTONIC in nanoseconds, the clock the bench started
// the process by; PEAK_KB is VmHWM; ITEMS and CURRENT describe the printer
// list (Combo1) when the window has one, and are -1 and empty otherwise.

#include <time.h>

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

long PeakResidentKb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

std::int64_t MonotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void Report(const std::string& file, const QWidget& window) {
  const std::int64_t shown = MonotonicNs();
  int items = -1;
  QString current;
  if (const auto* list = window.findChild<QComboBox*>("Combo1")) {
    items = list->count();
    current = list->currentText();
  }
  std::ofstream(file) << shown << ' ' << PeakResidentKb() << ' ' << items << ' '
                      << current.toStdString() << '\n';
}

class ShownReporter final : public QObject {
public:
  ShownReporter(std::string file, QObject* parent) : QObject(parent), file_(std::move(file)) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Show || reported_) return false;
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !widget->isWindow()) return false;
    reported_ = true;
    // One turn of the event loop, so the window's first layout and paint
    // requests are handled before the clock is read.
    QTimer::singleShot(0, this, [this, widget] {
      Report(file_, *widget);
      QCoreApplication::exit(0);
    });
    return false;
  }

private:
  std::string file_;
  bool reported_ = false;
};

void InstallShownReporter() {
  const char* file = std::getenv("BRISAKETT_PROBE_REPORT");
  if (!file || !*file) return;
  QCoreApplication::instance()->installEventFilter(
      new ShownReporter(file, QCoreApplication::instance()));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallShownReporter)
