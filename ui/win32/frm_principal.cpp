#include "ui/win32/frm_principal.h"

#include <algorithm>

#include "app/profiles.h"
#include "ui/win32/fonts.h"
#include "ui/win32/resource_ids.h"

namespace qelvo::ui::win32 {
namespace {

constexpr int kClientWidth = 572, kClientHeight = 348, kHeaderHeight = 65;
constexpr int kBarLeft = 16, kBarTop = 177, kBarWidth = 543, kBarHeight = 20;
constexpr int kInfoRight = 545, kInfoHeight = 13;
constexpr int kGroupLeft = 16, kGroupTop = 6, kGroupWidth = 543, kGroupHeight = 165;
constexpr int kLabel1Id = 1, kGroupId = 3, kInfoId = 4;
constexpr COLORREF kHeaderColour = RGB(0, 64, 128);
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;

void SetFont(HWND w, const TFont& f) { ::SendMessageW(w, WM_SETFONT, reinterpret_cast<WPARAM>(f.Get()), TRUE); }

int TextWidth(HWND w, HFONT font, const std::wstring& text) {
  HDC dc = ::GetDC(w);
  const HGDIOBJ old = ::SelectObject(dc, font);
  SIZE s{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &s);
  ::SelectObject(dc, old);
  ::ReleaseDC(w, dc);
  return s.cx;
}

}  // namespace

TfrmPrincipalQelvoOneInstall::TfrmPrincipalQelvoOneInstall(TfrmStatus& status, TWinDialogs& dialogs,
                                                           app::IShell& shell, app::IComponentFactory& components,
                                                           app::TInstallerConfig config)
    : dialogs_(dialogs) {
  RegisterClassOnce(kMainClass, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
  CreateHandle(kExStyle, kMainClass, L"Qelvo Install", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth,
               kClientHeight, nullptr);
  dpi_ = DpiOf(Handle());
  CreateControls();
  Layout();
  dialogs_.SetOwner(Handle());
  status.SetCentreOver(Handle());
  installer_ = std::make_unique<app::TInstaller>(
      app::TInstallerPorts{*this, status.Display(), dialogs, dialogs, shell, components}, std::move(config));
}

TfrmPrincipalQelvoOneInstall::~TfrmPrincipalQelvoOneInstall() {
  dialogs_.SetOwner(nullptr);
  DestroyHandle();
}

// Controls in tab order: bar, button, profiles.
void TfrmPrincipalQelvoOneInstall::CreateControls() {
  Panel1 = std::make_unique<TPanel>(Handle(), kHeaderColour);
  Label1 = CreateControl(Panel1->Handle(), L"STATIC", L"Qelvo Tecnologia - Instalador", SS_OWNERDRAW, 0, kLabel1Id);
  Panel2 = std::make_unique<TPanel>(Handle(), RGB(255, 255, 255));
  const HWND body = Panel2->Handle();
  ProgressBar1 = CreateControl(body, PROGRESS_CLASSW, L"", WS_CLIPSIBLINGS, 0, kProgressBarId);
  ::SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, progressMax_);
  ::SendMessageW(ProgressBar1, PBM_SETPOS, 0, 0);
  cxButton1 = CreateControl(body, L"BUTTON", L"Baixar e Instalar", WS_TABSTOP | BS_PUSHBUTTON, 0, kInstallButtonId);
  rgProdutos = CreateControl(body, L"BUTTON", L"Produtos", BS_GROUPBOX, 0, kGroupId);
  const auto& profiles = app::Profiles();
  for (size_t i = 0; i < profiles.size(); ++i) {
    const DWORD style = BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
    rgProdutosItems.push_back(
        CreateControl(body, L"BUTTON", Wide(profiles[i].Caption), style, 0, kFirstProfileId + static_cast<int>(i)));
  }
  // The label ends the profiles' group and sits over the bar's row.
  lConnectionInfo = CreateControl(body, L"STATIC", L"", WS_GROUP | SS_RIGHT | SS_NOPREFIX, 0, kInfoId);
  ::SetWindowPos(lConnectionInfo, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TfrmPrincipalQelvoOneInstall::Layout() {
  const TDpi d = dpi_;
  font_ = TahomaFont(11, d);
  bigFont_ = TahomaFont(16, d);
  headerFont_ = TrebuchetFont(19, d, true);
  const SIZE outer = WindowSizeFor(d(kClientWidth), d(kClientHeight), kStyle, kExStyle, d);
  ::SetWindowPos(Handle(), nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  ::MoveWindow(Panel1->Handle(), 0, 0, d(kClientWidth), d(kHeaderHeight), TRUE);
  ::MoveWindow(Label1, d(306), d(35), d(252), d(24), TRUE);
  ::MoveWindow(Panel2->Handle(), 0, d(kHeaderHeight), d(kClientWidth), d(kClientHeight) - d(kHeaderHeight), TRUE);
  ::MoveWindow(ProgressBar1, d(kBarLeft), d(kBarTop), d(kBarWidth), d(kBarHeight), TRUE);
  ::MoveWindow(cxButton1, d(180), d(203), d(202), d(54), TRUE);
  SetFont(cxButton1, bigFont_);
  buttonImage_.Reset(static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kProgramIconId),
                                                     IMAGE_ICON, d(32), d(32), LR_DEFAULTCOLOR)));
  ::SendMessageW(cxButton1, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(buttonImage_.Get()));

  // The group box with its items in two columns filled top to bottom, the rows spread over
  // the box below its caption.
  const RECT box{d(kGroupLeft), d(kGroupTop), d(kGroupLeft + kGroupWidth), d(kGroupTop + kGroupHeight)};
  ::MoveWindow(rgProdutos, box.left, box.top, box.right - box.left, box.bottom - box.top, TRUE);
  SetFont(rgProdutos, bigFont_);
  HDC dc = ::GetDC(Handle());
  const HGDIOBJ old = ::SelectObject(dc, bigFont_.Get());
  TEXTMETRICW tm{};
  ::GetTextMetricsW(dc, &tm);
  ::SelectObject(dc, old);
  ::ReleaseDC(Handle(), dc);
  const int count = static_cast<int>(rgProdutosItems.size());
  const int perColumn = std::max(1, (count + 1) / 2);
  const int free = (box.bottom - box.top) - tm.tmHeight - d(5);
  const int rowHeight = free / perColumn;
  const int top = box.top + tm.tmHeight + d(1) + (free % perColumn) / 2;
  const int columnWidth = ((box.right - box.left) - d(10)) / 2;
  for (int i = 0; i < count; ++i) {
    HWND item = rgProdutosItems[static_cast<size_t>(i)];
    ::MoveWindow(item, box.left + d(8) + (i / perColumn) * columnWidth, top + (i % perColumn) * rowHeight,
                 columnWidth - d(4), rowHeight, TRUE);
    SetFont(item, bigFont_);
  }
  SetFont(lConnectionInfo, font_);
  PlaceConnectionInfo();
}

void TfrmPrincipalQelvoOneInstall::ShowCentred() {
  CentreOver(Handle(), WorkAreaOf(nullptr));
  ::ShowWindow(Handle(), SW_SHOW);
  ::UpdateWindow(Handle());
}

int TfrmPrincipalQelvoOneInstall::ProfileIndex() const {
  for (size_t i = 0; i < rgProdutosItems.size(); ++i)
    if (::SendMessageW(rgProdutosItems[i], BM_GETCHECK, 0, 0) == BST_CHECKED) return static_cast<int>(i);
  return -1;
}

void TfrmPrincipalQelvoOneInstall::SetProgressMax(int value) {
  progressMax_ = std::max(value, 0);
  ::SendMessageW(ProgressBar1, PBM_SETRANGE32, 0, progressMax_);
}

// A position beyond the range shows at the nearer end (the download counts the bytes of a
// response head received with the body).
void TfrmPrincipalQelvoOneInstall::SetProgressPosition(int value) {
  ::SendMessageW(ProgressBar1, PBM_SETPOS, static_cast<WPARAM>(std::clamp(value, 0, progressMax_)), 0);
}

void TfrmPrincipalQelvoOneInstall::SetConnectionInfo(const std::string& text) {
  ::SetWindowTextW(lConnectionInfo, Wide(text).c_str());
  PlaceConnectionInfo();
}

// Auto-sized and right-justified: the text grows to the left from a fixed right edge, in
// the bar's row, on the button-face colour so that it stays readable over the bar.
void TfrmPrincipalQelvoOneInstall::PlaceConnectionInfo() {
  const std::wstring text = Wide(WindowText(lConnectionInfo));
  const TDpi d = dpi_;
  const int width = text.empty() ? 0 : TextWidth(lConnectionInfo, font_.Get(), text) + d(4);
  // The label grows to the left: its old picture must not be moved along with its left edge.
  ::SetWindowPos(lConnectionInfo, nullptr, d(kInfoRight) - width, d(kBarTop) + (d(kBarHeight) - d(kInfoHeight)) / 2,
                 width, d(kInfoHeight), SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS);
  ::InvalidateRect(lConnectionInfo, nullptr, TRUE);
  ::ShowWindow(lConnectionInfo, width > 0 ? SW_SHOWNA : SW_HIDE);
}

void TfrmPrincipalQelvoOneInstall::SetInstallEnabled(bool enabled) { ::EnableWindow(cxButton1, enabled); }

// Called at the end of the run's click handler: the close is carried out once the
// handler has returned, not under the controls it runs in.
void TfrmPrincipalQelvoOneInstall::CloseMainWindow() {
  closing_ = true;
  ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

// The header caption in Trebuchet MS; a wider fallback face is drawn with tighter letter
// spacing so that the caption fits its label instead of being clipped.
void TfrmPrincipalQelvoOneInstall::DrawHeaderCaption(const DRAWITEMSTRUCT& item) {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  ::FillRect(dc, &r, Panel1->Brush());
  const std::wstring text = Wide(WindowText(item.hwndItem));
  const HGDIOBJ old = ::SelectObject(dc, headerFont_.Get());
  for (int extra = 0; extra >= -3; --extra) {
    ::SetTextCharacterExtra(dc, extra);
    SIZE s{};
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &s);
    if (s.cx <= r.right - r.left) break;
  }
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, RGB(255, 255, 255));
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  ::SetTextCharacterExtra(dc, 0);
  ::SelectObject(dc, old);
}

LRESULT TfrmPrincipalQelvoOneInstall::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == kInstallButtonId && HIWORD(wp) == BN_CLICKED && installer_)
        installer_->InstallButtonPressed(dialogs_);
      return 0;
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item.hwndItem == Label1) DrawHeaderCaption(item);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wp);
      ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
      if (reinterpret_cast<HWND>(lp) == lConnectionInfo) {
        ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
      }
      ::SetBkColor(dc, Panel2->Colour());
      return reinterpret_cast<LRESULT>(Panel2->Brush());
    }
    case WM_DPICHANGED: {
      dpi_ = TDpi{HIWORD(wp)};
      Layout();
      const RECT& r = *reinterpret_cast<const RECT*>(lp);
      ::SetWindowPos(Handle(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_CLOSE:
      // During a run the close waits for the run's end (the run carries it out).
      if (closing_ || !installer_ || installer_->CloseQuery()) ::DestroyWindow(Handle());
      return 0;
    case WM_DESTROY:
      if (QuitOnDestroy) ::PostQuitMessage(0);
      return 0;
  }
  return Default(msg, wp, lp);
}

}  // namespace qelvo::ui::win32
