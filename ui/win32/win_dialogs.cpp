#include "ui/win32/win_dialogs.h"

#include "ui/win32/boxes.h"
#include "ui/win32/window_base.h"

namespace qelvo::ui::win32 {

bool TWinDialogs::Confirm(const std::string& text) {
  return ShowBox(owner_, TBox{TBoxKind::Confirm, kConfirmCaption, text, {}}).Accepted;
}

void TWinDialogs::ShowMessage(const std::string& text) {
  ShowBox(owner_, TBox{TBoxKind::Message, kProgramCaption, text, {}});
}

std::string TWinDialogs::InputBox(const std::string& caption, const std::string& prompt,
                                  const std::string& defaultText) {
  TBoxAnswer a = ShowBox(owner_, TBox{TBoxKind::Input, caption, prompt, defaultText});
  return a.Accepted ? a.Text : std::string();
}

void TWinDialogs::ProcessMessages() { PumpMessages(); }

void TWinDialogs::ShowException(const std::string& message) {
  ShowBox(owner_, TBox{TBoxKind::Error, kProgramCaption, message, {}});
}

}  // namespace qelvo::ui::win32
