#pragma once
// The main window: the header strip, the eight profiles, the install button, the
// progress bar and the download figures.
#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QWidget>
#include <memory>

#include "app/installer.h"
#include "app/ui_ports.h"
#include "ui/frm_status.h"
#include "ui/qt_dialogs.h"

namespace qelvo::ui {

class TfrmPrincipalQelvoOneInstall : public QWidget, public app::IMainView {
 public:
  TfrmPrincipalQelvoOneInstall(TfrmStatus& status, TQtDialogs& dialogs, app::IShell& shell,
                               app::IComponentFactory& components, app::TInstallerConfig config);
  ~TfrmPrincipalQelvoOneInstall() override;

  app::TInstaller& Installer() { return *installer_; }
  // Shows the window centred on its screen.
  void ShowCentred();

  int ProfileIndex() const override;
  void SetProgressMax(int value) override;
  void SetProgressPosition(int value) override;
  void SetConnectionInfo(const std::string& text) override;
  void SetInstallEnabled(bool enabled) override;
  void CloseMainWindow() override;

  QWidget* Panel1 = nullptr;
  QWidget* Panel2 = nullptr;
  QLabel* lConnectionInfo = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QLabel* Label1 = nullptr;
  QPushButton* cxButton1 = nullptr;
  QGroupBox* rgProdutos = nullptr;
  QButtonGroup* rgProdutosItems = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void PlaceConnectionInfo();

  TQtDialogs& dialogs_;
  std::unique_ptr<app::TInstaller> installer_;
  bool closing_ = false;
};

// The 32 x 32 picture beside the install button's caption.
QPixmap InstallButtonImage();

}  // namespace qelvo::ui
