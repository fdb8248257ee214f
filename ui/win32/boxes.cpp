#include "ui/win32/boxes.h"

#include <string_view>
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

// Raises the system box above the topmost status window, which stays up while some
// questions are asked (MB_TOPMOST is not honoured everywhere): a hook on this thread sees
// the box's activation.
class TRaiseBoxes {
 public:
  TRaiseBoxes() : hook_(::SetWindowsHookExW(WH_CBT, &TRaiseBoxes::Cbt, nullptr, ::GetCurrentThreadId())) {}
  ~TRaiseBoxes() {
    if (hook_) ::UnhookWindowsHookEx(hook_);
  }
  TRaiseBoxes(const TRaiseBoxes&) = delete;
  TRaiseBoxes& operator=(const TRaiseBoxes&) = delete;

 private:
  static LRESULT CALLBACK Cbt(int code, WPARAM wp, LPARAM lp) {
    if (code == HCBT_ACTIVATE) {
      const HWND w = reinterpret_cast<HWND>(wp);
      wchar_t cls[16] = {};
      ::GetClassNameW(w, cls, 16);
      if (std::wstring_view(cls) == L"#32770")
        ::SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
  }
  HHOOK hook_;
};

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
  TRaiseBoxes raise;
  const int pressed = ::MessageBoxW(owner, Wide(box.Text).c_str(), Wide(box.Caption).c_str(),
                                    StyleOf(box.Kind) | MB_SETFOREGROUND | MB_TOPMOST);
  return TBoxAnswer{pressed == IDYES || pressed == IDOK, {}};
}

}  // namespace qelvo::ui::win32
