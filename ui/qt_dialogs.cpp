#include "ui/qt_dialogs.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>

#include "ui/application.h"
#include "ui/qt_text.h"

namespace qelvo::ui {

bool TQtDialogs::Confirm(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Confirmação"), Q(text), QMessageBox::Yes | QMessageBox::No,
                  owner_);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  NameButtonsInPortuguese(box);
  return box.exec() == QMessageBox::Yes;
}

void TQtDialogs::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Qelvo Install"), Q(text), QMessageBox::Ok, owner_);
  NameButtonsInPortuguese(box);
  box.exec();
}

std::string TQtDialogs::InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText) {
  QInputDialog dlg(owner_);
  dlg.setWindowTitle(Q(caption));
  dlg.setLabelText(Q(prompt));
  dlg.setTextValue(Q(defaultText));
  dlg.setInputMode(QInputDialog::TextInput);
  dlg.setOkButtonText(QStringLiteral("OK"));
  dlg.setCancelButtonText(QStringLiteral("Cancelar"));
  if (dlg.exec() != QDialog::Accepted) return "";
  return S(dlg.textValue());
}

bool TQtDialogs::AskForDisk(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Warning, Q(caption), Q(text), QMessageBox::Ok | QMessageBox::Cancel, owner_);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

void TQtDialogs::ProcessMessages() { QCoreApplication::processEvents(); }

void TQtDialogs::ShowException(const std::string& message) { ShowExceptionBox(message); }

}  // namespace qelvo::ui
