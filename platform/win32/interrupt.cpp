#include "platform/interrupt.h"

#include "platform/win32/windows_api.h"

namespace qelvo::platform {
namespace {
void (*gHandler)() = nullptr;
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  if (gHandler) gHandler();
  return TRUE;
}
}  // namespace

void OnInterruptRequest(void (*handler)()) {
  gHandler = handler;
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace qelvo::platform
