// Program start: the application object, the main window with its download component,
// the hidden status window, then the message loop until the main window is closed.
#include "app/installer.h"
#include "app/platform_shell.h"
#include "app/real_components.h"
#include "ui/application.h"
#include "ui/program.h"

int main(int argc, char** argv) {
  qelvo::ui::TApplication application(argc, argv);
  qelvo::app::TPlatformShell shell;
  qelvo::app::TRealComponentFactory components;
  qelvo::ui::TProgram program(shell, components, qelvo::app::DefaultInstallerConfig());
  program.frmPrincipalQelvoOneInstall.ShowCentred();
  return application.exec();
}
