#pragma once
// The program's windows and boxes, created in start order.
#include "ui/frm_principal.h"
#include "ui/frm_status.h"
#include "ui/qt_dialogs.h"

namespace qelvo::ui {

struct TProgram {
  TProgram(app::IShell& shell, app::IComponentFactory& components, app::TInstallerConfig config)
      : frmStatus(dialogs), frmPrincipalQelvoOneInstall(frmStatus, dialogs, shell, components, std::move(config)) {}

  TQtDialogs dialogs;
  // Spanned archives ask for their disks in a box of this program while it runs.
  archive::TArcDiskPromptScope diskPrompt{&dialogs};
  TfrmStatus frmStatus;
  TfrmPrincipalQelvoOneInstall frmPrincipalQelvoOneInstall;
};

}  // namespace qelvo::ui
