// The status window routines, the progress bar driven by the two download events, and
// the figures label in both locales.
#include <gtest/gtest.h>

#include "app/progress_figures.h"
#include "platform/locale_settings.h"
#include "tests/app/doubles/scripted.h"

namespace qelvo::app::testing {
namespace {

TEST(StatusWindow, TitleChangesOnlyWithANonEmptyTitle) {
  TLog log;
  TFakeStatusView view(log);
  TFakePump pump;
  TStatusDisplay status(view, pump);
  EXPECT_FALSE(status.ATIVO);
  status.MostrarStatus("Aguarde", "");
  EXPECT_EQ(view.Title, "Qelvo ERP");
  status.MostrarStatus("Baixando", "Qelvo Install");
  status.MostrarStatus("Aguarde", "");
  EXPECT_EQ(view.Title, "Qelvo Install");
  EXPECT_EQ(view.Message, "Aguarde");
  EXPECT_TRUE(status.ATIVO);
  EXPECT_EQ(pump.Count, 3);  // each show paints at once
}

TEST(StatusWindow, HidesOnceAndEscapeLeavesAtivoSet) {
  TLog log;
  TFakeStatusView view(log);
  TFakePump pump;
  TStatusDisplay status(view, pump);
  status.OcultarStatus();  // never shown: nothing to hide
  status.MostrarStatus("m", "");
  status.OcultarStatus();
  status.OcultarStatus();
  EXPECT_EQ(Filter(log, {"status hidden"}).size(), 1u);

  status.MostrarStatus("m", "");
  uint16_t other = 13;
  status.FormKeyDown(other);
  EXPECT_TRUE(view.Visible);
  uint16_t escape = VK_ESCAPE;
  status.FormKeyDown(escape);
  EXPECT_FALSE(view.Visible);
  EXPECT_TRUE(status.ATIVO);
  status.OcultarStatus();  // hides the already hidden window again
  EXPECT_FALSE(status.ATIVO);
}

TEST(StatusDownload, StoresTheTextAndShowsOrHides) {
  TScriptedInstaller s;
  const int pumpsBefore = s.Pump.Count;
  s.Installer->SetStatusDownload("Baixando QelvoPDV...");
  EXPECT_EQ(s.Installer->FStatusDownload(), "Baixando QelvoPDV...");
  EXPECT_TRUE(s.StatusView.Visible);
  EXPECT_EQ(s.StatusView.Title, "Qelvo Install");
  s.Installer->SetStatusDownload("");
  EXPECT_EQ(s.Installer->FStatusDownload(), "");
  EXPECT_FALSE(s.StatusView.Visible);
  EXPECT_EQ(s.Pump.Count - pumpsBefore, 3);
}

struct THookCase {
  const char* Name;
  THookSocketReason Reason;
  TDownloadStatus Status;
  int ExpectedMax, ExpectedPosition;
  const char* ExpectedInfo;
  friend void PrintTo(const THookCase& c, std::ostream* os) { *os << c.Name; }
};

class HookStatus : public ::testing::TestWithParam<THookCase> {};

// The bar starts from max 100, position 40 and the label "antes".
TEST_P(HookStatus, DrivesTheBarAndTheLabel) {
  TScriptedInstaller s;
  s.View.ProgressMax = 100;
  s.View.ProgressPosition = 40;
  s.View.ConnectionInfo = "antes";
  s.Factory.Downloader->Status = GetParam().Status;
  s.Installer->fQvDownloadHookStatus(GetParam().Reason, 10240000, 1536000);
  EXPECT_EQ(s.View.ProgressMax, GetParam().ExpectedMax);
  EXPECT_EQ(s.View.ProgressPosition, GetParam().ExpectedPosition);
  EXPECT_EQ(s.View.ConnectionInfo, GetParam().ExpectedInfo);
}

using R = THookSocketReason;
using St = TDownloadStatus;
INSTANTIATE_TEST_SUITE_P(
    Reasons, HookStatus,
    ::testing::Values(THookCase{"read_count_sets_range", R::HR_ReadCount, St::stDownload, 10240000, 1536000, "antes"},
                      THookCase{"connect_resets", R::HR_Connect, St::stDownload, 100, 0, "antes"},
                      THookCase{"close_while_downloading", R::HR_SocketClose, St::stDownload, 100, 40, "antes"},
                      THookCase{"close_after_stop", R::HR_SocketClose, St::stStop, 100, 0, "Download Encerrado..."},
                      THookCase{"close_after_pause", R::HR_SocketClose, St::stPause, 100, 40, "Download Pausado..."},
                      THookCase{"other_reason", R::HR_CanRead, St::stStop, 100, 40, "antes"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(HookMonitor, SetsThePositionPumpsAndWritesTheFigures) {
  TScriptedInstaller s;
  s.Pump.Hook = [&] { s.Log.push_back("pump at " + std::to_string(s.View.ProgressPosition)); };
  s.Installer->fQvDownloadHookMonitor(10240000, 1536000, 150.0, 0, 0, 59);
  EXPECT_EQ(s.View.ProgressPosition, 1536000);
  EXPECT_EQ(Filter(s.Log, {"pump"}), (TLog{"pump at 1536000"}));
  EXPECT_EQ(s.View.ConnectionInfo.substr(s.View.ConnectionInfo.size() - 8), "00:00:59");
}

struct TFigureCase {
  int32_t Total, Done;
  double Speed;
  uint16_t Sec;
  const char* English;
  const char* Brazilian;
};

TEST(FiguresLabel, BuiltFromThePartsInBothLocales) {
  const rtl::TFormatSettings en{",", "."};
  const rtl::TFormatSettings br = platform::FormatSettingsFor("pt_BR.UTF-8");
  ASSERT_EQ(br.DecimalSeparator, ",") << "pt_BR.UTF-8 locale missing (scripts/install-deps makes it)";
  ASSERT_EQ(br.ThousandSeparator, ".");
  const TFigureCase cases[] = {
      {10240000, 1536000, 150.0, 59, "1,500 / 10,000 KB  -  150.00 KB/s  -  00:00:59",
       "1.500 / 10.000 KB  -  150,00 KB/s  -  00:00:59"},
      {2047, 512, 0.0, 3725, "1 / 2 KB  -  0.00 KB/s  -  01:02:05", "1 / 2 KB  -  0,00 KB/s  -  01:02:05"},
      {2147483647, 0, 1234.567, 65535, "0 / 2,097,152 KB  -  1234.57 KB/s  -  18:12:15",
       "0 / 2.097.152 KB  -  1234,57 KB/s  -  18:12:15"},
      {0, 0, 0.004, 0, "0 / 0 KB  -  0.00 KB/s  -  00:00:00", "0 / 0 KB  -  0,00 KB/s  -  00:00:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatConnectionInfo(c.Total, c.Done, c.Speed, c.Sec, en), c.English);
    EXPECT_EQ(FormatConnectionInfo(c.Total, c.Done, c.Speed, c.Sec, br), c.Brazilian);
  }
}

}  // namespace
}  // namespace qelvo::app::testing
