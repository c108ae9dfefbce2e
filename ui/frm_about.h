#pragma once

#include <QDialog>

#include "services.h"

class QLabel;
class QPushButton;

namespace brisakett {

// The About window: title, version caption, description, the maker's web
// address and the system-information launcher. Closing it unloads it.
class frmAbout : public QDialog {
  Q_OBJECT
public:
  explicit frmAbout(const Services& services);

  // The address that the link button shows and opens.
  static QString HomePage();

signals:
  // Sent as the window is unloaded, so whoever holds it lets go at once.
  void unloaded();

public slots:
  void cmdOK_Click();
  void Command1_Click();
  void cmdSysInfo_Click();

protected:
  void closeEvent(QCloseEvent* event) override;
  // Esc answers as "OK" does.
  void reject() override;

private:
  Services services_;
  QLabel* picIcon;
  QLabel* lblTitle;
  QLabel* lblVersion;
  QLabel* lblDescription;
  QPushButton* cmdOK;
  QPushButton* Command1;
  QPushButton* cmdSysInfo;
};

}  // namespace brisakett
