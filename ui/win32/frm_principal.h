#pragma once
// The main window: the header strip, the eight profiles, the install button, the
// progress bar and the download figures.
#include <memory>
#include <vector>

#include "app/installer.h"
#include "app/ui_ports.h"
#include "ui/win32/dpi.h"
#include "ui/win32/frm_status.h"
#include "ui/win32/panel.h"
#include "ui/win32/win_dialogs.h"
#include "ui/win32/window_names.h"

namespace qelvo::ui::win32 {

class TfrmPrincipalQelvoOneInstall : public TWindow, public app::IMainView {
 public:
  TfrmPrincipalQelvoOneInstall(TfrmStatus& status, TWinDialogs& dialogs, app::IShell& shell,
                               app::IComponentFactory& components, app::TInstallerConfig config);
  ~TfrmPrincipalQelvoOneInstall() override;

  app::TInstaller& Installer() { return *installer_; }
  // Shows the window centred on the primary monitor's work area.
  void ShowCentred();
  // The program ends its message loop when the window is destroyed.
  bool QuitOnDestroy = false;
  TDpi Dpi() const { return dpi_; }

  int ProfileIndex() const override;
  void SetProgressMax(int value) override;
  void SetProgressPosition(int value) override;
  void SetConnectionInfo(const std::string& text) override;
  void SetInstallEnabled(bool enabled) override;
  void CloseMainWindow() override;

  std::unique_ptr<TPanel> Panel1;
  std::unique_ptr<TPanel> Panel2;
  HWND lConnectionInfo = nullptr;
  HWND ProgressBar1 = nullptr;
  HWND Label1 = nullptr;
  HWND cxButton1 = nullptr;
  HWND rgProdutos = nullptr;
  std::vector<HWND> rgProdutosItems;

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;

 private:
  void CreateControls();
  void Layout();
  void PlaceConnectionInfo();
  void DrawHeaderCaption(const DRAWITEMSTRUCT& item);

  TWinDialogs& dialogs_;
  std::unique_ptr<app::TInstaller> installer_;
  TDpi dpi_;
  TFont font_, bigFont_, headerFont_;
  TIcon buttonImage_;
  int progressMax_ = 100;
  bool closing_ = false;
};

}  // namespace qelvo::ui::win32
