#include "ui/win32/panel.h"

namespace qelvo::ui::win32 {

TPanel::TPanel(HWND parent, COLORREF colour) : colour_(colour), brush_(::CreateSolidBrush(colour)) {
  RegisterClassOnce(L"QelvoPanel", nullptr);
  // Not clipping children: a group box paints only its frame and caption and leaves its
  // inside to the panel.
  CreateHandle(WS_EX_CONTROLPARENT, L"QelvoPanel", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent);
}

LRESULT TPanel::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND:
    case WM_PRINTCLIENT: {  // themed controls draw their parent's background through these
      RECT r{};
      ::GetClientRect(Handle(), &r);
      ::FillRect(reinterpret_cast<HDC>(wp), &r, brush_.Get());
      return 1;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return ::SendMessageW(::GetParent(Handle()), msg, wp, lp);
  }
  return Default(msg, wp, lp);
}

}  // namespace qelvo::ui::win32
