// The empty Qt window with libcups and the libraries it needs loaded, and
// nothing asked of the scheduler: what loading the printing library costs.
#include <QApplication>
#include <QWidget>

#include "libcups_loaded.h"

int main(int argc, char** argv) {
  brisakett::bench::KeepLibcupsLoaded();
  QApplication app(argc, argv);
  QWidget window;
  window.show();
  return app.exec();
}
