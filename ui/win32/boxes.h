#pragma once
// The modal boxes of the front end: Yes/No and OK boxes through MessageBoxW, the input
// box, and the error box of the application-wide exception display. A test hook can
// answer every box in place of a person.
#include <functional>
#include <string>

#include "ui/win32/win_api.h"

namespace qelvo::ui::win32 {

enum class TBoxKind { Confirm, Message, Error, Input };

struct TBox {
  TBoxKind Kind = TBoxKind::Message;
  std::string Caption;
  std::string Text;     // the question, message or input prompt
  std::string Default;  // input box only
};

struct TBoxAnswer {
  bool Accepted = false;  // Yes or OK; false for No, Cancel or closing the box
  std::string Text;       // input box only
};

using TBoxHook = std::function<TBoxAnswer(const TBox&)>;

// Answers every box through the hook while it is set; an empty hook restores the real
// boxes. Returns the hook it replaced.
TBoxHook SetBoxHook(TBoxHook hook);

// Shows the box (owned by owner) or hands it to the hook.
TBoxAnswer ShowBox(HWND owner, const TBox& box);

inline constexpr const char* kProgramCaption = "Qelvo Install";
inline constexpr const char* kConfirmCaption = "Confirmação";

}  // namespace qelvo::ui::win32
