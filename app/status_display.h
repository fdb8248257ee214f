#pragma once
// The status window's behaviour: a title line and a message line shown while the
// installer works. ATIVO tracks only MostrarStatus/OcultarStatus, not what the operator
// does with the window (Escape hides it and leaves ATIVO as it was).
#include <cstdint>
#include <string>

#include "app/ui_ports.h"

namespace qelvo::app {

inline constexpr uint16_t VK_ESCAPE = 27;

class TStatusDisplay {
 public:
  TStatusDisplay(IStatusView& view, IMessagePump& pump);

  void FormCreate();
  void FormKeyDown(uint16_t& key);
  // An empty title leaves the title line as it was.
  void MostrarStatus(const std::string& message, const std::string& title);
  void OcultarStatus();

  bool ATIVO = false;

 private:
  IStatusView& view_;
  IMessagePump& pump_;
};

}  // namespace qelvo::app
