#pragma once
// A plain coloured panel that holds controls: it paints its colour and passes its
// controls' notifications (commands, owner drawing, colours) up to the window it sits in.
#include "ui/win32/gdi.h"
#include "ui/win32/window_base.h"

namespace qelvo::ui::win32 {

class TPanel : public TWindow {
 public:
  TPanel(HWND parent, COLORREF colour);
  COLORREF Colour() const { return colour_; }
  HBRUSH Brush() const { return brush_.Get(); }

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  COLORREF colour_;
  TBrush brush_;
};

}  // namespace qelvo::ui::win32
