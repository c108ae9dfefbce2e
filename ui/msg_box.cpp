#include "msg_box.h"

#include <QMessageBox>

#include "messages.h"

namespace brisakett {

void MsgBox::Show(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(messages::kAppTitle), text,
                  QMessageBox::Ok, parent);
  // Spooler reasons and printer names are shown as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace brisakett
