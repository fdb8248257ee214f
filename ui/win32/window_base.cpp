#include "ui/win32/window_base.h"

#include "ui/win32/boxes.h"

namespace qelvo::ui::win32 {

TWindow::~TWindow() {
  if (hwnd_ && ::IsWindow(hwnd_)) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
}

void TWindow::RegisterClassOnce(const wchar_t* name, HBRUSH background) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (::GetClassInfoExW(::GetModuleHandleW(nullptr), name, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TWindow::Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = ::LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  if (!::RegisterClassExW(&wc)) throw WindowError("a classe de janela " + Narrow(name));
}

void TWindow::CreateHandle(DWORD exStyle, const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y,
                           int w, int h, HWND parent) {
  ::CreateWindowExW(exStyle, cls, text.c_str(), style, x, y, w, h, parent, nullptr, ::GetModuleHandleW(nullptr), this);
  if (!hwnd_) throw WindowError("a janela " + Narrow(cls));
}

LRESULT TWindow::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) { return Default(msg, wp, lp); }

void TWindow::DestroyHandle() {
  if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);  // WM_NCDESTROY clears hwnd_
  hwnd_ = nullptr;
}

LRESULT CALLBACK TWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->hwnd_ = hwnd;
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return ::DefWindowProcW(hwnd, msg, wp, lp);
  // Exceptions must not unwind through the system's frames: they end the handler here.
  try {
    const LRESULT r = self->HandleMessage(msg, wp, lp);
    if (msg == WM_NCDESTROY) {
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      self->hwnd_ = nullptr;
    }
    return r;
  } catch (...) {
    ShowUnhandledException(std::current_exception());
    return 0;
  }
}

HWND CreateControl(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, DWORD exStyle, int id) {
  HWND c = ::CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
  if (!c) throw WindowError("o controle " + Narrow(cls));
  return c;
}

rtl::Exception WindowError(const std::string& what) {
  return rtl::Exception("Não foi possível criar " + what + " (erro " + std::to_string(::GetLastError()) + ")");
}

void ShowUnhandledException(std::exception_ptr failure) {
  std::string message = "Erro desconhecido";
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    message = e.what();
  } catch (...) {
  }
  try {
    ShowBox(::GetActiveWindow(), TBox{TBoxKind::Error, kProgramCaption, message, {}});
  } catch (...) {
    // Nothing is left to show a failure of the display itself with.
  }
}

void DispatchUiMessage(MSG& m) {
  HWND root = m.hwnd ? ::GetAncestor(m.hwnd, GA_ROOT) : nullptr;
  if (root && (::GetWindowLongPtrW(root, GWL_EXSTYLE) & WS_EX_CONTROLPARENT) && ::IsDialogMessageW(root, &m)) return;
  ::TranslateMessage(&m);
  ::DispatchMessageW(&m);
}

void PumpMessages() {
  MSG m;
  while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(m.wParam));
      return;
    }
    DispatchUiMessage(m);
  }
}

int RunMessageLoop() {
  MSG m;
  BOOL got;
  while ((got = ::GetMessageW(&m, nullptr, 0, 0)) != 0) {
    if (got == -1) return 1;
    DispatchUiMessage(m);
  }
  return static_cast<int>(m.wParam);
}

}  // namespace qelvo::ui::win32
