#include "ui/win32/frm_status.h"

#include "ui/win32/fonts.h"

namespace qelvo::ui::win32 {
namespace {

constexpr int kWidth = 759, kHeight = 83, kFrame = 2, kTitleHeight = 24;
constexpr int kTitleId = 1, kMessageId = 2;
constexpr COLORREF kTitleColour = RGB(90, 88, 88);
constexpr DWORD kStyle = WS_POPUP | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;

}  // namespace

TfrmStatus::TfrmStatus(app::IMessagePump& pump) : display_(*this, pump), titleBrush_(::CreateSolidBrush(kTitleColour)) {
  RegisterClassOnce(kStatusClass, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  CreateHandle(kExStyle, kStatusClass, L"Qelvo Install", kStyle, 0, 0, kWidth, kHeight, nullptr);
  // A black panel whose 2-pixel border shows around the two lines.
  Panel1 = std::make_unique<TPanel>(Handle(), RGB(0, 0, 0));
  cxLabel1 = CreateControl(Panel1->Handle(), L"STATIC", L"Qelvo ERP", SS_OWNERDRAW, 0, kTitleId);
  lblStatus = CreateControl(Panel1->Handle(), L"STATIC", L"Mensagem", SS_OWNERDRAW, 0, kMessageId);
  Layout(DpiOf(Handle()));
}

void TfrmStatus::Layout(TDpi dpi) {
  dpi_ = dpi;
  labelFont_ = TahomaFont(13, dpi, true);
  ::SetWindowPos(Handle(), nullptr, 0, 0, dpi(kWidth), dpi(kHeight), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::MoveWindow(Panel1->Handle(), 0, 0, dpi(kWidth), dpi(kHeight), TRUE);
  const int inner = dpi(kWidth) - 2 * dpi(kFrame);
  ::MoveWindow(cxLabel1, dpi(kFrame), dpi(kFrame), inner, dpi(kTitleHeight), TRUE);
  ::MoveWindow(lblStatus, dpi(kFrame), dpi(kFrame) + dpi(kTitleHeight), inner,
               dpi(kHeight) - 2 * dpi(kFrame) - dpi(kTitleHeight), TRUE);
}

void TfrmStatus::SetMessageText(const std::string& text) {
  ::SetWindowTextW(lblStatus, Wide(text).c_str());
  ::InvalidateRect(lblStatus, nullptr, TRUE);
}

void TfrmStatus::SetTitleText(const std::string& text) {
  ::SetWindowTextW(cxLabel1, Wide(text).c_str());
  ::InvalidateRect(cxLabel1, nullptr, TRUE);
}

void TfrmStatus::ShowInFront() {
  const bool overMain = centreOver_ && ::IsWindowVisible(centreOver_);
  const TDpi dpi = DpiOf(overMain ? centreOver_ : Handle());
  if (dpi.Value != dpi_.Value) Layout(dpi);
  RECT over{};
  if (overMain) ::GetWindowRect(centreOver_, &over);
  else over = WorkAreaOf(Handle());
  CentreOver(Handle(), over);
  ::SetWindowPos(Handle(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  ::SetForegroundWindow(Handle());
  ::SetFocus(Handle());  // the window itself takes the keys (Escape)
  ::UpdateWindow(Handle());
}

void TfrmStatus::HideWindow() { ::ShowWindow(Handle(), SW_HIDE); }

void TfrmStatus::DrawLabel(const DRAWITEMSTRUCT& item) {
  const bool title = item.hwndItem == cxLabel1;
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  ::FillRect(dc, &r, title ? titleBrush_.Get() : static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  const std::wstring text = Wide(WindowText(item.hwndItem));
  const HGDIOBJ old = ::SelectObject(dc, labelFont_.Get());
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, title ? RGB(255, 255, 255) : ::GetSysColor(COLOR_WINDOWTEXT));
  const UINT flags = DT_CENTER | DT_NOPREFIX | DT_WORDBREAK;
  if (title) {
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
  } else {
    // Centred vertically too: measure the wrapped lines first.
    RECT measure = r;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measure, flags | DT_CALCRECT);
    const int height = measure.bottom - measure.top;
    if (height < r.bottom - r.top) r.top += (r.bottom - r.top - height) / 2;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, flags);
  }
  ::SelectObject(dc, old);
}

LRESULT TfrmStatus::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_DRAWITEM:
      DrawLabel(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
      return TRUE;
    case WM_KEYDOWN: {
      uint16_t key = static_cast<uint16_t>(wp);
      display_.FormKeyDown(key);
      return 0;
    }
    case WM_DPICHANGED:
      Layout(TDpi{HIWORD(wp)});
      return 0;
    case WM_CLOSE:  // a secondary window only hides
      HideWindow();
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace qelvo::ui::win32
