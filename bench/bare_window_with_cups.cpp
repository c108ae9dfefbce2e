// The empty Qt window with libcups and the libraries it needs loaded, and
// nothing asked of the scheduler: what loading the printing library costs.
#include <cups/cups.h>

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  // Taking the address keeps the link to libcups without calling into it.
  const char* (*volatile keepLinked)() = &cupsServer;
  (void)keepLinked;
  QApplication app(argc, argv);
  QWidget window;
  window.show();
  return app.exec();
}
