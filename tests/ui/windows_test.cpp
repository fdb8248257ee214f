// The two windows as the operator sees them: layout, start state, the progress display
// and the status window, the install run through the real boxes, and renders to PNG.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QRadioButton>
#include <QScreen>
#include <filesystem>

#include "app/progress_figures.h"
#include "archive/disk_prompt.h"
#include "qt_harness.h"
#include "tests/app/doubles/scripted.h"
#include "tests/support/drive_fixture.h"
#include "ui/program.h"
#include "rtl/exceptions.h"
#include "ui/qt_text.h"

namespace qelvo::ui::testing {
namespace {

using app::testing::TFakeFactory;
using app::testing::TFakeServer;
using app::testing::TFakeShell;
using app::testing::TLog;

// The real windows over scripted components and shell, C:\ in a fresh folder.
class Windows : public ::testing::Test {
 protected:
  Windows() {
    app::TInstallerConfig c;
    c.ExeFolder = "C:\\inst\\";
    c.PackageHost = "pkg.test";
    c.Format = {",", "."};
    program_ = std::make_unique<TProgram>(shell_, factory_, c);
  }
  ~Windows() override { program_.reset(); }
  TfrmPrincipalQelvoOneInstall& Main() { return program_->frmPrincipalQelvoOneInstall; }
  TfrmStatus& Status() { return program_->frmStatus; }
  void Serve(const std::string& path, const std::string& body) { server_.Bodies["http://pkg.test:8997" + path] = body; }

  TLog log_;
  TFakeServer server_;
  TFakeFactory factory_{log_, server_};
  TFakeShell shell_{log_};
  test::TempFolder root_{"ui"};
  test::ScopedDriveC driveC_{root_.Native()};
  std::unique_ptr<TProgram> program_;
};

TEST_F(Windows, MainWindowStartsWithTheDocumentedLayout) {
  auto& m = Main();
  m.ShowCentred();
  EXPECT_EQ(m.windowTitle(), "Qelvo Install");
  EXPECT_EQ(m.size(), QSize(572, 348));
  EXPECT_EQ(m.minimumSize(), m.maximumSize());
  EXPECT_EQ(m.Panel1->geometry(), QRect(0, 0, 572, 65));
  EXPECT_EQ(m.Panel1->palette().color(QPalette::Window), QColor(0, 64, 128));
  EXPECT_EQ(m.Label1->text(), "Qelvo Tecnologia - Instalador");
  EXPECT_EQ(m.Label1->geometry(), QRect(306, 35, 252, 24));
  EXPECT_TRUE(m.Label1->font().bold());
  EXPECT_EQ(m.Label1->font().pixelSize(), 19);
  EXPECT_LE(QFontMetrics(m.Label1->font()).horizontalAdvance(m.Label1->text()), m.Label1->width());
  EXPECT_EQ(m.Panel2->geometry(), QRect(0, 65, 572, 283));
  EXPECT_EQ(m.ProgressBar1->geometry(), QRect(16, 177, 543, 20));
  EXPECT_EQ(m.cxButton1->geometry(), QRect(180, 203, 202, 54));
  EXPECT_EQ(m.cxButton1->text(), "Baixar e Instalar");
  EXPECT_EQ(m.cxButton1->iconSize(), QSize(32, 32));
  EXPECT_EQ(m.rgProdutos->geometry(), QRect(16, 6, 543, 165));
  EXPECT_EQ(m.rgProdutos->title(), "Produtos");
  EXPECT_EQ(m.font().family(), "Tahoma") << "Tahoma comes from fonts-wine";

  // Items 0 to 3 down the first column, 4 to 7 down the second.
  const char* captions[] = {"QelvoPDV Completo", "QelvoERP Servidor", "QelvoERP Terminal", "QelvoOne Servidor",
                            "QelvoOne Terminal", "QelvoLoja Servidor", "QelvoLoja Terminal", "QelvoWebServer"};
  for (int i = 0; i < 8; ++i) {
    auto* item = m.rgProdutosItems->button(i);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(S(item->text()), captions[i]);
    EXPECT_FALSE(item->isChecked());
    if (i % 4) {
      EXPECT_GT(item->y(), m.rgProdutosItems->button(i - 1)->y());
    }
    EXPECT_EQ(item->x() > m.rgProdutos->width() / 2, i >= 4) << i;
  }
  EXPECT_EQ(m.ProfileIndex(), -1);
  EXPECT_EQ(m.ProgressBar1->minimum(), 0);
  EXPECT_EQ(m.ProgressBar1->maximum(), 100);
  EXPECT_EQ(m.ProgressBar1->value(), 0);
  EXPECT_TRUE(m.lConnectionInfo->text().isEmpty());
  EXPECT_FALSE(Status().isVisible());

  // Tab order: bar, button, profiles.
  EXPECT_EQ(m.ProgressBar1->nextInFocusChain(), m.cxButton1);
  QWidget* next = m.cxButton1->nextInFocusChain();
  while (next != m.cxButton1 && !(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
  EXPECT_EQ(next, m.rgProdutosItems->button(0));
  // Centred on the screen.
  const QPoint offset = m.geometry().center() - m.screen()->availableGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2);
}

TEST_F(Windows, StatusWindowLayoutTitleAndEscape) {
  auto& s = Status();
  EXPECT_EQ(s.size(), QSize(759, 83));
  EXPECT_TRUE(s.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(s.cxLabel1->text(), "Qelvo ERP");
  EXPECT_EQ(s.lblStatus->text(), "Mensagem");
  EXPECT_EQ(s.cxLabel1->palette().color(QPalette::Window), QColor(90, 88, 88));
  Main().ShowCentred();
  s.Display().MostrarStatus("Aguarde", "");
  EXPECT_TRUE(s.isVisible());
  EXPECT_EQ(s.cxLabel1->geometry(), QRect(2, 2, 755, 24));
  EXPECT_EQ(s.lblStatus->geometry(), QRect(2, 26, 755, 55));
  EXPECT_EQ(s.frameGeometry().center(), Main().frameGeometry().center());
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&s, &escape);
  EXPECT_FALSE(s.isVisible());
  EXPECT_TRUE(s.Display().ATIVO);
}

TEST_F(Windows, ProgressBarAndFiguresFollowTheTwoEvents) {
  auto& m = Main();
  auto& installer = m.Installer();
  installer.fQvDownloadHookStatus(app::THookSocketReason::HR_ReadCount, 10240000, 512000);
  EXPECT_EQ(m.ProgressBar1->maximum(), 10240000);
  EXPECT_EQ(m.ProgressBar1->value(), 512000);
  installer.fQvDownloadHookMonitor(10240000, 1536000, 150.0, 0, 0, 59);
  EXPECT_EQ(m.ProgressBar1->value(), 1536000);
  EXPECT_EQ(S(m.lConnectionInfo->text()), "1,500 / 10,000 KB  -  150.00 KB/s  -  00:00:59");
  // Right-justified: the right edge stays put as the text grows.
  EXPECT_EQ(m.lConnectionInfo->geometry().right() + 1, 545);
  installer.fQvDownloadHookMonitor(10240000, 10240000, 1500.5, 0, 0, 3725);
  EXPECT_EQ(m.lConnectionInfo->geometry().right() + 1, 545);
  installer.fQvDownloadHookStatus(app::THookSocketReason::HR_Connect, 0, 0);
  EXPECT_EQ(m.ProgressBar1->value(), 0);
  // Past the end (head bytes counted with the body) the bar shows full.
  installer.fQvDownloadHookStatus(app::THookSocketReason::HR_ReadCount, 475, 0);
  installer.fQvDownloadHookMonitor(475, 719, 1.0, 0, 0, 0);
  EXPECT_EQ(m.ProgressBar1->value(), 475);
}

TEST_F(Windows, RendersBothWindowsToPng) {
  auto& m = Main();
  m.rgProdutosItems->button(1)->setChecked(true);
  m.ShowCentred();
  m.Installer().fQvDownloadHookStatus(app::THookSocketReason::HR_ReadCount, 10240000, 0);
  m.Installer().fQvDownloadHookMonitor(10240000, 4608000, 150.0, 0, 0, 59);
  Status().Display().MostrarStatus("Baixando atualização do QelvoERP...", "Qelvo Install");
  QApplication::processEvents();
  const std::string dir = OutputFolder("ui-renders");
  const QString mainPng = Q(dir + "/main-window.png"), statusPng = Q(dir + "/status-window.png");
  ASSERT_TRUE(m.grab().save(mainPng));
  ASSERT_TRUE(Status().grab().save(statusPng));
  QImage main(mainPng), status(statusPng);
  EXPECT_EQ(main.size(), QSize(572, 348));
  EXPECT_EQ(status.size(), QSize(759, 83));
  // The header's blue, the status window's black frame and grey title line.
  EXPECT_EQ(main.pixelColor(5, 5), QColor(0, 64, 128));
  EXPECT_EQ(status.pixelColor(0, 40), QColor(Qt::black));
  EXPECT_EQ(status.pixelColor(5, 5), QColor(90, 88, 88));
  std::printf("renders: %s %s\n", S(mainPng).c_str(), S(statusPng).c_str());
}

TEST_F(Windows, InstallRunThroughTheRealBoxes) {
  Serve("/qelvo/public/qelvopdvfull.zip", "pdv full");
  Serve("/qelvo/public/QelvoBridge.zip", "bridge");
  Serve("/qelvo/public/qelvopdv.zip", "pdv");
  Serve("/qelvo/public/layoutpdv/demo.zip", "layout");
  auto& m = Main();
  m.ShowCentred();
  m.rgProdutosItems->button(0)->setChecked(true);
  {
    TBoxAnswerer boxes;
    boxes.Inputs = {"nada", "demo"};
    m.cxButton1->click();
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"input Nome da Empresa", "message O layout não existe nada.zip",
                                                       "input Nome da Empresa"}));
    EXPECT_EQ(boxes.Seen.front().Title, "Layout PDV");
  }
  EXPECT_FALSE(Status().isVisible());
  EXPECT_TRUE(m.cxButton1->isEnabled());
  {
    // Second run: every package is there; No keeps them, the layout is fetched anew.
    TBoxAnswerer boxes;
    boxes.Inputs = {};  // Cancel
    log_.clear();
    m.cxButton1->click();
    EXPECT_EQ(boxes.Texts(),
              (std::vector<std::string>{
                  "confirm Já existe um arquivo QelvoPDVFull.zip baixado. Deseja descartar e baixar novamente?",
                  "input Nome da Empresa",
                  "confirm Já existe um arquivo QelvoBridge.zip baixado. Deseja descartar e baixar novamente?",
                  "confirm Já existe um arquivo QelvoPDV.zip baixado. Deseja descartar e baixar novamente?"}));
    EXPECT_TRUE(app::testing::Filter(log_, {"download"}).empty());
  }
}

TEST_F(Windows, AFailureIsShownInABoxAndLeavesTheStatusWindowAsItWas) {
  auto& m = Main();
  m.ShowCentred();
  m.rgProdutosItems->button(7)->setChecked(true);
  TBoxAnswerer boxes;
  m.cxButton1->click();
  ASSERT_EQ(boxes.Seen.size(), 1u);
  EXPECT_EQ(boxes.Seen[0].Kind, "error");
  EXPECT_EQ(boxes.Seen[0].Text, "File not found");
  EXPECT_FALSE(Status().isVisible());  // the download ended and hid it; the run ended before the final hide
  EXPECT_TRUE(m.cxButton1->isEnabled());
}

TEST_F(Windows, ClickAndCloseDuringARun) {
  Serve("/qelvo/public/QelvoWebServerSvc.zip", "svc");
  auto& m = Main();
  m.ShowCentred();
  m.rgProdutosItems->button(7)->setChecked(true);
  bool enabledDuringRun = true, visibleAfterClose = false;
  factory_.Downloader->DuringTransfer = [&] {
    enabledDuringRun = m.cxButton1->isEnabled();
    m.cxButton1->click();  // disabled: no second run
    m.close();             // deferred
    visibleAfterClose = m.isVisible();
  };
  m.cxButton1->click();
  EXPECT_FALSE(enabledDuringRun);
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_EQ(app::testing::Filter(log_, {"download"}).size(), 1u);
  EXPECT_FALSE(m.isVisible());  // closed when the run ended
}

// A handler that lets an exception escape reaches the application-wide display.
TEST_F(Windows, SpannedArchivesAskForDisksInABoxOfTheProgram) {
  // The archive core's default disk requests reach this program's box while it runs.
  EXPECT_EQ(archive::ArcDiskPrompt(), &program_->dialogs);
  {
    TBoxAnswerer boxes;
    EXPECT_TRUE(archive::AskForDisk(archive::InsertNthDiskText(2)));
    ASSERT_EQ(boxes.Seen.size(), 1u);
    EXPECT_EQ(boxes.Seen[0].Title, "Insert floppy");
    EXPECT_EQ(boxes.Seen[0].Text, "Insert disk number 2 of the spanned disk set");
  }
  program_.reset();
  EXPECT_EQ(archive::ArcDiskPrompt(), nullptr);
}

TEST(ApplicationHandler, ShowsAnEscapedExceptionInABox) {
  class Throwing : public QObject {
   public:
    bool event(QEvent* e) override {
      if (e->type() == QEvent::User) throw rtl::Exception("Não foi possível renomear o arquivo: a para b");
      return QObject::event(e);
    }
  } receiver;
  TBoxAnswerer boxes;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QApplication::sendEvent(&receiver, &event));
  ASSERT_EQ(boxes.Seen.size(), 1u);
  EXPECT_EQ(boxes.Seen[0].Kind, "error");
  EXPECT_EQ(boxes.Seen[0].Title, "Qelvo Install");
  EXPECT_EQ(boxes.Seen[0].Text, "Não foi possível renomear o arquivo: a para b");
}

}  // namespace
}  // namespace qelvo::ui::testing
