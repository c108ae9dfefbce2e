#pragma once

#include <QMainWindow>
#include <QPointer>

#include "services.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;

namespace brisakett {

class ClickableImage;
class LineControl;
class frmAbout;

// The main window: the printer list, "OK" to wake the chosen printer, the
// banner and the File and Help menus.
class Form1 : public QMainWindow {
  Q_OBJECT
public:
  explicit Form1(const Services& services);
  ~Form1() override;

  // The one About window while it is loaded; null otherwise.
  frmAbout* AboutWindow() const;

public slots:
  void Command1_Click();
  void Exit_Click();
  void About_Click();
  void Image1_Click();

protected:
  void showEvent(QShowEvent* event) override;

private:
  void Form_Load();
  void GetPrinters();
  void ShowAboutWindow();

  Services services_;
  QPointer<frmAbout> aboutWindow_;
  bool clientSized_ = false;

  ClickableImage* Image1;
  LineControl* Line1;
  QLabel* Label1;
  LineControl* Line2;
  QLabel* Label2;
  QComboBox* Combo1;
  QPushButton* Command1;
  QMenu* File;
  QAction* Exit;
  QMenu* Help;
  QAction* About;
};

}  // namespace brisakett
