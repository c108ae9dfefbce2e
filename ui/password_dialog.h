#pragma once

#include <QDialog>

#include "password_prompt.h"

class QLineEdit;

namespace brisakett {

// Asks for the password a print server wants before it takes the job, as
// desktop printing tools do: the user CUPS names, which may be changed,
// and the password, never shown and never kept.
class PasswordDialog : public QDialog {
  Q_OBJECT
public:
  PasswordDialog(const QString& server, const QString& user, QWidget* parent = nullptr);

  QString User() const;
  QString Password() const;

private:
  QLineEdit* userName_;
  QLineEdit* password_;
};

// The window's prompt: a modal PasswordDialog over the active window.
class DialogPasswordPrompt final : public PasswordPrompt {
public:
  std::optional<std::string> Ask(const std::string& server, std::string& user) override;
};

}  // namespace brisakett
