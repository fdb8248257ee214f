#pragma once
// The program's windows and boxes, created in start order.
#include "ui/win32/frm_principal.h"
#include "ui/win32/frm_status.h"
#include "ui/win32/win_dialogs.h"

namespace qelvo::ui::win32 {

struct TProgram {
  TProgram(app::IShell& shell, app::IComponentFactory& components, app::TInstallerConfig config)
      : frmStatus(dialogs), frmPrincipalQelvoOneInstall(frmStatus, dialogs, shell, components, std::move(config)) {}

  TWinDialogs dialogs;
  TfrmStatus frmStatus;
  TfrmPrincipalQelvoOneInstall frmPrincipalQelvoOneInstall;
};

}  // namespace qelvo::ui::win32
