// The boxes speak the program's language, and the download figures sit where neither
// they nor the progress bar hide the other.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <ostream>

#include "qt_harness.h"
#include "tests/app/doubles/scripted.h"
#include "tests/support/drive_fixture.h"
#include "ui/program.h"
#include "ui/qt_text.h"

namespace qelvo::ui::testing {
namespace {

// Captions of the visible buttons of the modal box the call opens, which is then closed.
std::vector<std::string> ButtonsOf(const std::function<void()>& open) {
  std::vector<std::string> captions;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box || !box->isVisible()) return;
    for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
      if (b->isVisible()) captions.push_back(S(b->text().remove(QLatin1Char('&'))));
    std::sort(captions.begin(), captions.end());
    QMetaObject::invokeMethod(box, "reject", Qt::QueuedConnection);
    poll.stop();
  });
  poll.start();
  open();
  return captions;
}

struct TBoxCase {
  const char* Name;
  std::function<void(TQtDialogs&)> Open;
  std::vector<std::string> Buttons;  // sorted
  friend void PrintTo(const TBoxCase& c, std::ostream* os) { *os << c.Name; }
};

class PortugueseButtons : public ::testing::TestWithParam<TBoxCase> {};

TEST_P(PortugueseButtons, AsABrazilianWindowsShowsThem) {
  TQtDialogs dialogs;
  EXPECT_EQ(ButtonsOf([&] { GetParam().Open(dialogs); }), GetParam().Buttons);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, PortugueseButtons,
    ::testing::Values(
        TBoxCase{"confirm", [](TQtDialogs& d) { d.Confirm("Deseja?"); }, {"Não", "Sim"}},
        TBoxCase{"message", [](TQtDialogs& d) { d.ShowMessage("Pronto"); }, {"OK"}},
        TBoxCase{"exception", [](TQtDialogs& d) { d.ShowException("File not found"); }, {"OK"}},
        TBoxCase{"input", [](TQtDialogs& d) { d.InputBox("Layout PDV", "Nome da Empresa", ""); }, {"Cancelar", "OK"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(DownloadFigures, NeitherTheBarNorTheFiguresAreHidden) {
  app::testing::TLog log;
  app::testing::TFakeServer server;
  app::testing::TFakeFactory factory{log, server};
  app::testing::TFakeShell shell{log};
  test::TempFolder root{"ui-figures"};
  test::ScopedDriveC driveC{root.Native()};
  app::TInstallerConfig c;
  c.ExeFolder = "C:\\inst\\";
  c.Format = {",", "."};
  TProgram program(shell, factory, c);
  auto& m = program.frmPrincipalQelvoOneInstall;
  m.ShowCentred();
  // From a short text to the widest the figures get (2 GiB at a high speed, hours left).
  const struct {
    int32_t Total, Done;
    double Speed;
    uint16_t Sec;
  } figures[] = {{1024, 0, 0.0, 0}, {10240000, 1536000, 150.0, 59}, {2147483647, 2147483647, 99999.99, 65535}};
  for (const auto& f : figures) {
    m.Installer().fQvDownloadHookMonitor(f.Total, f.Done, f.Speed, 0, 0, f.Sec);
    const QRect info = m.lConnectionInfo->geometry();
    SCOPED_TRACE(S(m.lConnectionInfo->text()));
    EXPECT_TRUE(m.lConnectionInfo->isVisible());
    EXPECT_FALSE(info.intersects(m.ProgressBar1->geometry()));
    EXPECT_FALSE(info.intersects(m.cxButton1->geometry()));
    EXPECT_FALSE(info.intersects(m.rgProdutos->geometry()));
    EXPECT_TRUE(QRect(QPoint(0, 0), m.Panel2->size()).contains(info));
    EXPECT_EQ(info.right() + 1, 545);  // right-justified: grows to the left
    const QFontMetrics metrics(m.lConnectionInfo->font());
    EXPECT_GE(info.width(), metrics.horizontalAdvance(m.lConnectionInfo->text()));
    EXPECT_GE(info.height(), metrics.ascent() + metrics.descent() - 1);
  }
}

}  // namespace
}  // namespace qelvo::ui::testing
