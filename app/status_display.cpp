#include "app/status_display.h"

namespace qelvo::app {

TStatusDisplay::TStatusDisplay(IStatusView& view, IMessagePump& pump) : view_(view), pump_(pump) { FormCreate(); }

void TStatusDisplay::FormCreate() { ATIVO = false; }

void TStatusDisplay::FormKeyDown(uint16_t& key) {
  if (key == VK_ESCAPE) view_.HideWindow();
}

void TStatusDisplay::MostrarStatus(const std::string& message, const std::string& title) {
  view_.SetMessageText(message);
  if (!title.empty()) view_.SetTitleText(title);
  view_.ShowInFront();
  ATIVO = true;
  pump_.ProcessMessages();
}

void TStatusDisplay::OcultarStatus() {
  if (!ATIVO) return;
  ATIVO = false;
  view_.HideWindow();
}

}  // namespace qelvo::app
