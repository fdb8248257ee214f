#pragma once
#include <QPointer>
#include <QWidget>

#include "app/ui_ports.h"

namespace qelvo::ui {

// The modal boxes, the input box, message pumping and the exception box over Qt.
class TQtDialogs : public app::IDialogs, public app::IMessagePump, public app::IExceptionHandler {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }
  bool Confirm(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText) override;
  void ProcessMessages() override;
  void ShowException(const std::string& message) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace qelvo::ui
