#include "box_driver.h"

#include "ui/win32/window_names.h"

namespace qelvo::ui::win32::testing {
namespace {

struct TSearch {
  DWORD ProcessId;
  const wchar_t* ClassName;  // nullptr: a box of either kind
  HWND Found = nullptr;
};

std::wstring ClassOf(HWND w) {
  wchar_t name[64] = {};
  ::GetClassNameW(w, name, 64);
  return name;
}

bool IsBoxClass(const std::wstring& cls) { return cls == L"#32770" || cls == kInputBoxClass; }

BOOL CALLBACK Visit(HWND w, LPARAM p) {
  auto& s = *reinterpret_cast<TSearch*>(p);
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  if (pid != s.ProcessId || !::IsWindowVisible(w)) return TRUE;
  const std::wstring cls = ClassOf(w);
  if (s.ClassName ? cls == s.ClassName : IsBoxClass(cls)) {
    s.Found = w;
    return FALSE;
  }
  return TRUE;
}

struct TBoxParts {
  std::string Text;
  bool HasIcon = false;
};

BOOL CALLBACK VisitChild(HWND c, LPARAM p) {
  auto& parts = *reinterpret_cast<TBoxParts*>(p);
  if (ClassOf(c) != L"Static" && ClassOf(c) != L"STATIC") return TRUE;
  if (!::IsWindowVisible(c)) return TRUE;
  const LONG_PTR style = ::GetWindowLongPtrW(c, GWL_STYLE);
  if ((style & SS_TYPEMASK) == SS_ICON) {
    // A box without an icon may still have the control, empty.
    if (::SendMessageW(c, STM_GETICON, 0, 0)) parts.HasIcon = true;
    return TRUE;
  }
  std::string text = ControlText(c);
  if (text.size() > parts.Text.size()) parts.Text = std::move(text);
  return TRUE;
}

}  // namespace

std::string ControlText(HWND w) {
  std::wstring text(1024, L'\0');
  const LRESULT n = ::SendMessageW(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<size_t>(n));
  return Narrow(text);
}

HWND FindProcessWindow(DWORD processId, const wchar_t* className) {
  TSearch s{processId, className};
  ::EnumWindows(Visit, reinterpret_cast<LPARAM>(&s));
  return s.Found;
}

std::optional<TOpenBox> FindOpenBox(DWORD processId) {
  HWND w = FindProcessWindow(processId, nullptr);
  if (!w) return std::nullopt;
  TOpenBox box;
  box.Window = w;
  box.Caption = ControlText(w);
  box.Topmost = (::GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  TBoxParts parts;
  ::EnumChildWindows(w, VisitChild, reinterpret_cast<LPARAM>(&parts));
  box.Text = parts.Text;
  if (ClassOf(w) == kInputBoxClass) box.Kind = "input";
  else if (::GetDlgItem(w, IDYES)) box.Kind = "confirm";
  else box.Kind = parts.HasIcon ? "error" : "message";
  return box;
}

void AnswerBox(const TOpenBox& box, bool accept, const std::string& text) {
  int id = accept ? IDOK : IDCANCEL;
  if (box.Kind == "confirm") id = accept ? IDYES : IDNO;
  if (box.Kind == "input" && accept) {
    const std::wstring w = Wide(text);
    ::SendMessageW(::GetDlgItem(box.Window, kInputBoxEditId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(w.c_str()));
  }
  if (box.Kind == "message" || box.Kind == "error") id = IDOK;
  ::PostMessageW(box.Window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box.Window, id)));
}

}  // namespace qelvo::ui::win32::testing
