#include "platform/interrupt.h"

#include <signal.h>

namespace qelvo::platform {
namespace {
void (*gHandler)() = nullptr;
void OnSignal(int) {
  if (gHandler) gHandler();
}
}  // namespace

void OnInterruptRequest(void (*handler)()) {
  gHandler = handler;
  // No SA_RESTART: a blocking call returns, so the request is seen at once.
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace qelvo::platform
