#include "ui/win32/input_box.h"

#include "ui/win32/dpi.h"
#include "ui/win32/fonts.h"
#include "ui/win32/window_base.h"

namespace qelvo::ui::win32 {
namespace {

constexpr int kPromptId = 100;
constexpr int kClientWidth = 330, kClientHeight = 104;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// Topmost: above the status window.
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_TOPMOST;

class TInputBox {
 public:
  std::optional<std::string> Run(HWND owner, const std::string& caption, const std::string& prompt,
                                 const std::string& defaultText);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void Create(HWND owner, const std::string& caption, const std::string& prompt, const std::string& defaultText);
  void Finish(bool accepted);

  HWND hwnd_ = nullptr, edit_ = nullptr;
  TFont font_;
  bool done_ = false, accepted_ = false;
  std::string text_;
};

void RegisterClassOnce() {
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DefWindowProcW;  // replaced per window by TInputBox::Proc
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kInputBoxClass;
    return ::RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

void TInputBox::Create(HWND owner, const std::string& caption, const std::string& prompt,
                       const std::string& defaultText) {
  RegisterClassOnce();
  const TDpi dpi = DpiOf(owner);
  const SIZE size = WindowSizeFor(dpi(kClientWidth), dpi(kClientHeight), kStyle, kExStyle, dpi);
  hwnd_ = ::CreateWindowExW(kExStyle, kInputBoxClass, Wide(caption).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                            size.cx, size.cy, owner, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) throw WindowError("a caixa de texto");
  ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TInputBox::Proc));
  font_ = TahomaFont(11, dpi);
  const HINSTANCE inst = ::GetModuleHandleW(nullptr);
  auto child = [&](const wchar_t* cls, const std::wstring& text, DWORD style, DWORD ex, int x, int y, int w, int h,
                   int id) {
    HWND c = ::CreateWindowExW(ex, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, dpi(x), dpi(y), dpi(w), dpi(h),
                               hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
    ::SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    return c;
  };
  child(L"STATIC", Wide(prompt), SS_LEFT | SS_NOPREFIX, 0, 8, 10, 314, 16, kPromptId);
  edit_ = child(L"EDIT", Wide(defaultText), WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 8, 30, 314, 21,
                kInputBoxEditId);
  child(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 166, 70, 75, 25, IDOK);
  child(L"BUTTON", L"Cancelar", WS_TABSTOP | BS_PUSHBUTTON, 0, 247, 70, 75, 25, IDCANCEL);
  CentreOver(hwnd_, [&] {
    RECT r{};
    if (owner) ::GetWindowRect(owner, &r);
    else r = WorkAreaOf(nullptr);
    return r;
  }());
}

std::optional<std::string> TInputBox::Run(HWND owner, const std::string& caption, const std::string& prompt,
                                          const std::string& defaultText) {
  Create(owner, caption, prompt, defaultText);
  if (owner) ::EnableWindow(owner, FALSE);
  ::ShowWindow(hwnd_, SW_SHOW);
  ::SetForegroundWindow(hwnd_);
  ::SetFocus(edit_);
  ::SendMessageW(edit_, EM_SETSEL, 0, -1);
  MSG m;
  bool quit = false;
  int quitCode = 0;
  while (!done_) {
    const BOOL got = ::GetMessageW(&m, nullptr, 0, 0);
    if (got == 0 || got == -1) {  // WM_QUIT: end the box and leave the quit to the outer loop
      quit = got == 0;
      quitCode = static_cast<int>(m.wParam);
      Finish(false);
      break;
    }
    if (!::IsDialogMessageW(hwnd_, &m)) {
      ::TranslateMessage(&m);
      ::DispatchMessageW(&m);
    }
  }
  // The owner is enabled before the box goes so that it gets the activation back.
  if (owner) ::EnableWindow(owner, TRUE);
  ::DestroyWindow(hwnd_);
  if (quit) ::PostQuitMessage(quitCode);
  if (!accepted_) return std::nullopt;
  return text_;
}

void TInputBox::Finish(bool accepted) {
  if (done_) return;
  accepted_ = accepted;
  if (accepted) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(edit_)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(edit_, text.data(), static_cast<int>(text.size()))));
    text_ = Narrow(text);
  }
  done_ = true;
}

LRESULT CALLBACK TInputBox::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TInputBox*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self) {
    switch (msg) {
      case WM_COMMAND:
        if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
          self->Finish(LOWORD(wp) == IDOK);
          return 0;
        }
        break;
      case DM_GETDEFID: return MAKELRESULT(IDOK, DC_HASDEFID);
      case WM_CLOSE: self->Finish(false); return 0;
      case WM_CTLCOLORSTATIC:
        ::SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
    }
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

std::optional<std::string> RunInputBox(HWND owner, const std::string& caption, const std::string& prompt,
                                       const std::string& defaultText) {
  TInputBox box;
  return box.Run(owner, caption, prompt, defaultText);
}

}  // namespace qelvo::ui::win32
