#pragma once
#include "app/ui_ports.h"
#include "ui/win32/win_api.h"

namespace qelvo::ui::win32 {

// The installer's boxes, message pumping and exception display on the window API.
class TWinDialogs : public app::IDialogs, public app::IMessagePump, public app::IExceptionHandler {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  bool Confirm(const std::string& text) override;
  void ShowMessage(const std::string& text) override;
  std::string InputBox(const std::string& caption, const std::string& prompt, const std::string& defaultText) override;
  void ProcessMessages() override;
  void ShowException(const std::string& message) override;

 private:
  HWND owner_ = nullptr;
};

}  // namespace qelvo::ui::win32
