#include "ui/win32/boxes.h"

#include <utility>

#include "ui/win32/input_box.h"

namespace qelvo::ui::win32 {
namespace {

TBoxHook& Hook() {
  static TBoxHook hook;
  return hook;
}

UINT StyleOf(TBoxKind kind) {
  switch (kind) {
    case TBoxKind::Confirm: return MB_YESNO | MB_ICONQUESTION;
    case TBoxKind::Error: return MB_OK | MB_ICONERROR;
    default: return MB_OK;
  }
}

}  // namespace

TBoxHook SetBoxHook(TBoxHook hook) { return std::exchange(Hook(), std::move(hook)); }

TBoxAnswer ShowBox(HWND owner, const TBox& box) {
  if (Hook()) return Hook()(box);
  if (owner && !::IsWindowVisible(owner)) owner = nullptr;
  if (box.Kind == TBoxKind::Input) {
    TBoxAnswer answer;
    if (auto text = RunInputBox(owner, box.Caption, box.Text, box.Default)) {
      answer.Accepted = true;
      answer.Text = std::move(*text);
    }
    return answer;
  }
  // Above the topmost status window, which stays up while some questions are asked.
  const int pressed = ::MessageBoxW(owner, W(box.Text).c_str(), W(box.Caption).c_str(),
                                    StyleOf(box.Kind) | MB_SETFOREGROUND | MB_TOPMOST);
  return TBoxAnswer{pressed == IDYES || pressed == IDOK, {}};
}

}  // namespace qelvo::ui::win32
