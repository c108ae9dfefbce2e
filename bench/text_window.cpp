// The empty Qt window with one line of text in the main window's font: the
// least any window that shows a word costs. An empty window never loads a
// font; this one sets up Qt's font database and lays out and draws text.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QLabel window(QString::fromUtf8("Drucker auswählen:"));
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(9.75);
  window.setFont(font);
  window.show();
  return app.exec();
}
