// qelvo-demo-drive: the installer's own windows, driven like an operator would drive them,
// for the demo on a machine without a person at the screen (scripts/run-demo runs it
// under Xvfb). It selects one profile, presses "Baixar e Instalar", answers every box
// (keeps packages already in temp, types the store layout), prints each step, then the
// installed tree and the shortcuts, and saves screenshots of the windows.
//
//   qelvo-demo-drive --profile N --screens DIR [--layout NAME] [--port PORT]
//
// C:\ and the desktop come from QELVO_DRIVE_C and XDG_DESKTOP_DIR as for the installer.
// Exit status: 0 when the run ended without an error box, 1 when it showed one, 2 on
// usage errors.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/profiles.h"
#include "ui/application.h"
#include "ui/demo/headless_run.h"

namespace {

const char* const kUsage =
    "usage: qelvo-demo-drive --profile N --screens DIR [--layout NAME] [--port PORT]\n"
    "  --profile N    profile 0 to 7, as listed in the window\n"
    "  --screens DIR  folder for the screenshots\n"
    "  --layout NAME  company name typed for the store layout (default demo)\n"
    "  --port PORT    port of the package server (default 8997)\n";

bool ParseInt(const char* text, int& value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < 0 || v > 65535) return false;
  value = static_cast<int>(v);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qelvo::ui::demo::THeadlessOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--profile" && hasValue && ParseInt(argv[i + 1], o.Profile)) {
      ++i;
    } else if (a == "--port" && hasValue && ParseInt(argv[i + 1], o.Port)) {
      ++i;
    } else if (a == "--screens" && hasValue) {
      o.ScreensFolder = argv[++i];
    } else if (a == "--layout" && hasValue) {
      o.Layout = argv[++i];
    } else {
      std::fprintf(stderr, "qelvo-demo-drive: bad argument %s\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (o.Profile < 0 || o.Profile >= static_cast<int>(qelvo::app::Profiles().size()) || o.ScreensFolder.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  qelvo::ui::TApplication application(argc, argv);
  return qelvo::ui::demo::RunHeadless(o);
}
