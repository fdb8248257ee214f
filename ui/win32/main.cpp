// Program start: common controls, the main window with its download component, the
// hidden status window, then the message loop until the main window is closed.
// The installer's headers come before the Windows headers, whose macros (SW_SHOWNORMAL,
// ...) would rename their constants.
#include "app/platform_shell.h"
#include "app/real_components.h"
#include "ui/win32/program.h"
#include "ui/win32/window_base.h"

#include <objbase.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  using namespace qelvo::ui::win32;
  // The shell's launches and links want a single-threaded apartment on the GUI thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ::InitCommonControlsEx(&icc);
  int code = 1;
  try {
    qelvo::app::TPlatformShell shell;
    qelvo::app::TRealComponentFactory components;
    TProgram program(shell, components, qelvo::app::DefaultInstallerConfig());
    program.frmPrincipalQelvoOneInstall.QuitOnDestroy = true;
    program.frmPrincipalQelvoOneInstall.ShowCentred();
    code = RunMessageLoop();
  } catch (...) {
    ShowUnhandledException(std::current_exception());
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
  return code;
}
