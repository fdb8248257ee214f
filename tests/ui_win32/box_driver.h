#pragma once
// Finds the modal box a program has open (a system message box or the installer's input
// box) and answers it with window messages, the way a person's clicks would. Works on
// the calling process and on another one alike.
#include <optional>
#include <string>

#include "ui/win32/win_api.h"

namespace qelvo::ui::win32::testing {

struct TOpenBox {
  HWND Window = nullptr;
  std::string Kind;  // "confirm", "message", "error" or "input"
  std::string Caption;
  std::string Text;  // the question, message or input prompt
  bool Topmost = false;
};

// The box of the process that is open now, if any.
std::optional<TOpenBox> FindOpenBox(DWORD processId);

// Yes or OK when accept, else No or Cancel; an input box gets the text typed first.
void AnswerBox(const TOpenBox& box, bool accept, const std::string& text = {});

// A top-level visible window of the process with the class name.
HWND FindProcessWindow(DWORD processId, const wchar_t* className);

// The window's text read through WM_GETTEXT (a control of another process too).
std::string ControlText(HWND w);

}  // namespace qelvo::ui::win32::testing
