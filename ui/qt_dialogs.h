#pragma once
#include <QPointer>
#include <QWidget>

#include "app/ui_ports.h"
#include "archive/disk_prompt.h"

namespace qelvo::ui {

// The modal boxes, the input box, message pumping, the exception box and the disk
// prompt of spanned archives over Qt.
class TQtDialogs : public app::IDialogs,
                   public app::IMessagePump,
                   public app::IExceptionHandler,
                   public archive::IArcDiskPrompt {
 public:
  void SetOwner(QWidget* owner) { owner_ = owner; }
  bool Confirm(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText) override;
  void ProcessMessages() override;
  void ShowException(const std::string& message) override;
  // OK and Cancel; true for OK.
  bool AskForDisk(const std::string& caption, const std::string& text) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace qelvo::ui
