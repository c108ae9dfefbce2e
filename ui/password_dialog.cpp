#include "password_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "messages.h"

namespace brisakett {

PasswordDialog::PasswordDialog(const QString& server, const QString& user, QWidget* parent)
    : QDialog(parent) {
  setObjectName("PasswordDialog");
  setWindowTitle(QString::fromUtf8(messages::kAppTitle));
  setModal(true);

  auto* explanation =
      new QLabel(tr("The print server %1 wants a password before it takes the job.").arg(server));
  explanation->setWordWrap(true);

  userName_ = new QLineEdit(user);
  userName_->setObjectName("userName");
  password_ = new QLineEdit;
  password_->setObjectName("password");
  password_->setEchoMode(QLineEdit::Password);

  auto* fields = new QFormLayout;
  fields->addRow(tr("&User name:"), userName_);
  fields->addRow(tr("&Password:"), password_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->setObjectName("buttons");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(explanation);
  layout->addLayout(fields);
  layout->addWidget(buttons);

  password_->setFocus();
}

QString PasswordDialog::User() const { return userName_->text(); }

QString PasswordDialog::Password() const { return password_->text(); }

std::optional<std::string> DialogPasswordPrompt::Ask(const std::string& server,
                                                     std::string& user) {
  PasswordDialog dialog(QString::fromStdString(server), QString::fromStdString(user),
                        QApplication::activeWindow());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  user = dialog.User().toStdString();
  return dialog.Password().toStdString();
}

}  // namespace brisakett
