#pragma once
// The borderless status window: a title line over one message line, framed in black.
#include <QLabel>
#include <QPointer>
#include <QWidget>

#include "app/status_display.h"
#include "app/ui_ports.h"

namespace qelvo::ui {

class TfrmStatus : public QWidget, public app::IStatusView {
 public:
  explicit TfrmStatus(app::IMessagePump& pump);

  // The window it centres over when shown.
  void SetCentreOver(QWidget* w) { centreOver_ = w; }
  app::TStatusDisplay& Display() { return display_; }

  void SetMessageText(const std::string& text) override;
  void SetTitleText(const std::string& text) override;
  void ShowInFront() override;
  void HideWindow() override;

  QWidget* Panel1 = nullptr;
  QLabel* lblStatus = nullptr;
  QLabel* cxLabel1 = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  app::TStatusDisplay display_;
  QPointer<QWidget> centreOver_;
};

}  // namespace qelvo::ui
