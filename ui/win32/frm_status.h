#pragma once
// The borderless, topmost status window: a title line over one message line, framed in
// black.
#include <memory>

#include "app/status_display.h"
#include "app/ui_ports.h"
#include "ui/win32/dpi.h"
#include "ui/win32/panel.h"
#include "ui/win32/window_names.h"

namespace qelvo::ui::win32 {

class TfrmStatus : public TWindow, public app::IStatusView {
 public:
  explicit TfrmStatus(app::IMessagePump& pump);
  ~TfrmStatus() override { DestroyHandle(); }

  // The window it centres over when shown.
  void SetCentreOver(HWND w) { centreOver_ = w; }
  app::TStatusDisplay& Display() { return display_; }
  std::string MessageText() const { return WindowText(lblStatus); }
  std::string TitleText() const { return WindowText(cxLabel1); }

  void SetMessageText(const std::string& text) override;
  void SetTitleText(const std::string& text) override;
  void ShowInFront() override;
  void HideWindow() override;

  std::unique_ptr<TPanel> Panel1;
  HWND lblStatus = nullptr;
  HWND cxLabel1 = nullptr;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void Layout(TDpi dpi);
  void DrawLabel(const DRAWITEMSTRUCT& item);

  app::TStatusDisplay display_;
  HWND centreOver_ = nullptr;
  TDpi dpi_;
  TFont labelFont_;
  TBrush titleBrush_;
};

}  // namespace qelvo::ui::win32
