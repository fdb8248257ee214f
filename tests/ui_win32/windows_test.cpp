// The Win32 windows as the operator sees them: layout, start state, the progress display
// and the status window, install runs through the real boxes and through the test hook,
// the exception display, and pictures of both windows saved as PNG.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

// The installer's headers before the Windows headers, whose macros would rename their
// constants.
#include "tests/app/doubles/scripted.h"
#include "tests/support/drive_fixture.h"
#include "ui/win32/program.h"

#include <chrono>
#include <optional>
#include <thread>

#include "box_answerer.h"
#include "ui/win32/boxes.h"
#include "ui/win32/input_box.h"
#include "window_shot.h"

namespace qelvo::ui::win32::testing {
namespace {

using app::testing::TFakeFactory;
using app::testing::TFakeServer;
using app::testing::TFakeShell;
using app::testing::TLog;

RECT RectIn(HWND w, HWND parent) {
  RECT r{};
  ::GetWindowRect(w, &r);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

std::string Rect(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

std::string ClientSize(HWND w) {
  RECT r{};
  ::GetClientRect(w, &r);
  return std::to_string(r.right) + "x" + std::to_string(r.bottom);
}

LOGFONTW FontOf(HWND w) {
  LOGFONTW lf{};
  ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(w, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  return lf;
}

void Pump() {
  for (int i = 0; i < 5; ++i) PumpMessages();
}

// The real windows over scripted components and shell, C:\ in a fresh folder.
class Windows : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
  }
  Windows() {
    app::TInstallerConfig c;
    c.ExeFolder = "C:\\inst\\";
    c.PackageHost = "pkg.test";
    c.Format = {",", "."};
    program_ = std::make_unique<TProgram>(shell_, factory_, c);
  }
  ~Windows() override {
    program_.reset();
    Pump();
  }
  TfrmPrincipalQelvoOneInstall& Main() { return program_->frmPrincipalQelvoOneInstall; }
  TfrmStatus& Status() { return program_->frmStatus; }
  void Serve(const std::string& path, const std::string& body) { server_.Bodies["http://pkg.test:8997" + path] = body; }
  void Select(int profile) {
    ::SendMessageW(Main().rgProdutosItems[static_cast<size_t>(profile)], BM_SETCHECK, BST_CHECKED, 0);
  }
  void Click() {
    ::SendMessageW(Main().Handle(), WM_COMMAND, MAKEWPARAM(kInstallButtonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(Main().cxButton1));
  }

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
  ASSERT_EQ(m.Dpi().Value, 96) << "the checks below are the design's 96-dpi pixels";
  EXPECT_EQ(WindowText(m.Handle()), "Qelvo Install");
  EXPECT_EQ(ClientSize(m.Handle()), "572x348");
  // Fixed dialog border: no sizing frame, no minimise or maximise box.
  const LONG_PTR style = ::GetWindowLongPtrW(m.Handle(), GWL_STYLE);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_TRUE(::GetWindowLongPtrW(m.Handle(), GWL_EXSTYLE) & WS_EX_DLGMODALFRAME);
  EXPECT_EQ(Rect(RectIn(m.Panel1->Handle(), m.Handle())), "0,0 572x65");
  EXPECT_EQ(Rect(RectIn(m.Label1, m.Panel1->Handle())), "306,35 252x24");
  EXPECT_EQ(WindowText(m.Label1), "Qelvo Tecnologia - Instalador");
  EXPECT_EQ(Rect(RectIn(m.Panel2->Handle(), m.Handle())), "0,65 572x283");
  const HWND body = m.Panel2->Handle();
  EXPECT_EQ(Rect(RectIn(m.ProgressBar1, body)), "16,177 543x20");
  EXPECT_EQ(Rect(RectIn(m.cxButton1, body)), "180,203 202x54");
  EXPECT_EQ(WindowText(m.cxButton1), "Baixar e Instalar");
  EXPECT_NE(::SendMessageW(m.cxButton1, BM_GETIMAGE, IMAGE_ICON, 0), 0) << "the 32 x 32 image";
  EXPECT_EQ(Rect(RectIn(m.rgProdutos, body)), "16,6 543x165");
  EXPECT_EQ(WindowText(m.rgProdutos), "Produtos");
  // Fonts: Tahoma 11 by default, 16 on the button and the profiles.
  EXPECT_EQ(std::wstring(FontOf(m.cxButton1).lfFaceName), L"Tahoma");
  EXPECT_EQ(FontOf(m.cxButton1).lfHeight, -16);
  EXPECT_EQ(FontOf(m.rgProdutosItems[0]).lfHeight, -16);
  EXPECT_EQ(FontOf(m.lConnectionInfo).lfHeight, -11);

  // Items 0 to 3 down the first column, 4 to 7 down the second, inside the box.
  const char* captions[] = {"QelvoPDV Completo", "QelvoERP Servidor", "QelvoERP Terminal", "QelvoOne Servidor",
                            "QelvoOne Terminal", "QelvoLoja Servidor", "QelvoLoja Terminal", "QelvoWebServer"};
  ASSERT_EQ(m.rgProdutosItems.size(), 8u);
  const RECT box = RectIn(m.rgProdutos, body);
  for (int i = 0; i < 8; ++i) {
    const HWND item = m.rgProdutosItems[static_cast<size_t>(i)];
    const RECT r = RectIn(item, body);
    EXPECT_EQ(WindowText(item), captions[i]);
    EXPECT_EQ(::SendMessageW(item, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    if (i % 4) {
      EXPECT_GT(r.top, RectIn(m.rgProdutosItems[static_cast<size_t>(i - 1)], body).top);
    }
    EXPECT_EQ(r.left > (box.left + box.right) / 2, i >= 4) << i;
    EXPECT_TRUE(r.left >= box.left && r.right <= box.right && r.top > box.top && r.bottom <= box.bottom) << i;
  }
  EXPECT_EQ(m.ProfileIndex(), -1);
  PBRANGE range{};
  ::SendMessageW(m.ProgressBar1, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(range.iLow, 0);
  EXPECT_EQ(range.iHigh, 100);
  EXPECT_EQ(::SendMessageW(m.ProgressBar1, PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(WindowText(m.lConnectionInfo), "");
  EXPECT_FALSE(::IsWindowVisible(Status().Handle()));

  // Tab order: the button, then the profiles (the bar takes no focus).
  EXPECT_EQ(::GetNextDlgTabItem(m.Handle(), m.cxButton1, FALSE), m.rgProdutosItems[0]);
  EXPECT_EQ(::GetNextDlgTabItem(m.Handle(), m.rgProdutosItems[0], FALSE), m.cxButton1);
  // Centred on the work area.
  RECT w{};
  ::GetWindowRect(m.Handle(), &w);
  const RECT area = WorkAreaOf(nullptr);
  EXPECT_LE(std::abs((w.left + w.right) - (area.left + area.right)), 2);
  EXPECT_LE(std::abs((w.top + w.bottom) - (area.top + area.bottom)), 2);
}

// Moved to a monitor of 192 dpi, the window takes the size Windows suggests and lays out
// every control and font at twice the design's pixels.
TEST_F(Windows, ScalesItsLayoutWhenTheDpiChanges) {
  auto& m = Main();
  m.ShowCentred();
  // The suggestion keeps this frame (no real monitor change scales it here).
  RECT outer{}, client{};
  ::GetWindowRect(m.Handle(), &outer);
  ::GetClientRect(m.Handle(), &client);
  RECT suggested{10, 10, 10 + 1144 + (outer.right - outer.left - client.right),
                 10 + 696 + (outer.bottom - outer.top - client.bottom)};
  ::SendMessageW(m.Handle(), WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(m.Dpi().Value, 192);
  EXPECT_EQ(ClientSize(m.Handle()), "1144x696");
  const HWND body = m.Panel2->Handle();
  EXPECT_EQ(Rect(RectIn(body, m.Handle())), "0,130 1144x566");
  EXPECT_EQ(Rect(RectIn(m.cxButton1, body)), "360,406 404x108");
  EXPECT_EQ(Rect(RectIn(m.ProgressBar1, body)), "32,354 1086x40");
  EXPECT_EQ(FontOf(m.cxButton1).lfHeight, -32);
  m.SetConnectionInfo("1 / 2 KB  -  0.00 KB/s  -  00:00:01");
  EXPECT_EQ(RectIn(m.lConnectionInfo, body).right, 1090);
}

TEST_F(Windows, StatusWindowLayoutTitleAndEscape) {
  auto& s = Status();
  EXPECT_EQ(ClientSize(s.Handle()), "759x83");
  const LONG_PTR style = ::GetWindowLongPtrW(s.Handle(), GWL_STYLE);
  EXPECT_FALSE(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_SYSMENU));
  EXPECT_TRUE(::GetWindowLongPtrW(s.Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(s.TitleText(), "Qelvo ERP");
  EXPECT_EQ(s.MessageText(), "Mensagem");
  Main().ShowCentred();
  s.Display().MostrarStatus("Aguarde", "");
  EXPECT_TRUE(::IsWindowVisible(s.Handle()));
  EXPECT_EQ(Rect(RectIn(s.cxLabel1, s.Handle())), "2,2 755x24");
  EXPECT_EQ(Rect(RectIn(s.lblStatus, s.Handle())), "2,26 755x55");
  RECT a{}, b{};
  ::GetWindowRect(s.Handle(), &a);
  ::GetWindowRect(Main().Handle(), &b);
  EXPECT_LE(std::abs((a.left + a.right) - (b.left + b.right)), 1);
  EXPECT_LE(std::abs((a.top + a.bottom) - (b.top + b.bottom)), 1);
  s.Display().MostrarStatus("Baixando...", "Qelvo Install");
  s.Display().MostrarStatus("Aguarde", "");
  EXPECT_EQ(s.TitleText(), "Qelvo Install");
  ::SendMessageW(s.Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_FALSE(::IsWindowVisible(s.Handle()));
  EXPECT_TRUE(s.Display().ATIVO);
}

TEST_F(Windows, ProgressBarAndFiguresFollowTheTwoEvents) {
  auto& m = Main();
  auto& installer = m.Installer();
  const HWND body = m.Panel2->Handle();
  installer.fQvDownloadHookStatus(app::THookSocketReason::HR_ReadCount, 10240000, 512000);
  EXPECT_EQ(::SendMessageW(m.ProgressBar1, PBM_GETRANGE, FALSE, 0), 10240000);
  EXPECT_EQ(::SendMessageW(m.ProgressBar1, PBM_GETPOS, 0, 0), 512000);
  installer.fQvDownloadHookMonitor(10240000, 1536000, 150.0, 0, 0, 59);
  EXPECT_EQ(::SendMessageW(m.ProgressBar1, PBM_GETPOS, 0, 0), 1536000);
  EXPECT_EQ(WindowText(m.lConnectionInfo), "1,500 / 10,000 KB  -  150.00 KB/s  -  00:00:59");
  // Right-justified in the bar's row: the right edge stays put as the text grows.
  const RECT first = RectIn(m.lConnectionInfo, body);
  EXPECT_EQ(first.right, 545);
  EXPECT_GT(first.top, 177);
  EXPECT_LT(first.bottom, 197);
  installer.fQvDownloadHookMonitor(10240000, 10240000, 1500.5, 0, 0, 3725);
  const RECT second = RectIn(m.lConnectionInfo, body);
  EXPECT_EQ(second.right, 545);
  EXPECT_LT(second.left, first.left);
  installer.fQvDownloadHookStatus(app::THookSocketReason::HR_Connect, 0, 0);
  EXPECT_EQ(::SendMessageW(m.ProgressBar1, PBM_GETPOS, 0, 0), 0);
  // Past the end (head bytes counted with the body) the bar shows full.
  installer.fQvDownloadHookStatus(app::THookSocketReason::HR_ReadCount, 475, 0);
  installer.fQvDownloadHookMonitor(475, 719, 1.0, 0, 0, 0);
  EXPECT_EQ(::SendMessageW(m.ProgressBar1, PBM_GETPOS, 0, 0), 475);
}

TEST_F(Windows, PicturesOfBothWindows) {
  auto& m = Main();
  Select(1);
  m.ShowCentred();
  m.Installer().fQvDownloadHookStatus(app::THookSocketReason::HR_ReadCount, 10240000, 0);
  m.Installer().fQvDownloadHookMonitor(10240000, 4608000, 150.0, 0, 0, 59);
  Status().Display().MostrarStatus("Baixando atualização do QelvoERP...", "Qelvo Install");
  Pump();
  const auto dir = std::filesystem::path(QELVO_BINARY_DIR) / "ui-win32-shots";
  std::filesystem::create_directories(dir);
  const TShot main = ShootClient(m.Handle()), status = ShootClient(Status().Handle());
  ASSERT_EQ(main.Width, 572);
  ASSERT_EQ(main.Height, 348);
  ASSERT_EQ(status.Width, 759);
  ASSERT_EQ(status.Height, 83);
  EXPECT_TRUE(SavePng(main, (dir / "main-window.png").string()));
  EXPECT_TRUE(SavePng(status, (dir / "status-window.png").string()));
  // The header's blue, the white body, the status window's black frame and grey title line.
  EXPECT_EQ(main.At(5, 5), Rgb(0, 64, 128));
  EXPECT_EQ(main.At(5, 100), Rgb(255, 255, 255));
  EXPECT_EQ(status.At(0, 40), Rgb(0, 0, 0));
  EXPECT_EQ(status.At(5, 5), Rgb(90, 88, 88));
  EXPECT_EQ(status.At(5, 60), Rgb(255, 255, 255));
  std::printf("pictures: %s\n", dir.string().c_str());
}

TEST_F(Windows, InstallRunsThroughTheRealBoxes) {
  Serve("/qelvo/public/qelvopdvfull.zip", "pdv full");
  Serve("/qelvo/public/QelvoBridge.zip", "bridge");
  Serve("/qelvo/public/qelvopdv.zip", "pdv");
  Serve("/qelvo/public/layoutpdv/demo.zip", "layout");
  auto& m = Main();
  m.ShowCentred();
  Select(0);
  {
    TBoxAnswerer boxes;
    boxes.SetInputs({"nada", "demo"});
    Click();
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{"input Nome da Empresa", "message O layout não existe nada.zip",
                                                       "input Nome da Empresa"}));
    ASSERT_FALSE(boxes.Seen().empty());
    EXPECT_EQ(boxes.Seen().front().Caption, "Layout PDV");
  }
  EXPECT_FALSE(::IsWindowVisible(Status().Handle()));
  EXPECT_TRUE(::IsWindowEnabled(m.cxButton1));
  {
    // Second run: every package is there; No keeps them, Cancel in the input box skips
    // the layout.
    TBoxAnswerer boxes;
    log_.clear();
    Click();
    EXPECT_EQ(boxes.Texts(),
              (std::vector<std::string>{
                  "confirm Já existe um arquivo QelvoPDVFull.zip baixado. Deseja descartar e baixar novamente?",
                  "input Nome da Empresa",
                  "confirm Já existe um arquivo QelvoBridge.zip baixado. Deseja descartar e baixar novamente?",
                  "confirm Já existe um arquivo QelvoPDV.zip baixado. Deseja descartar e baixar novamente?"}));
    EXPECT_EQ(boxes.Seen().front().Caption, "Confirmação");
    // The status window ("Aguarde") is up during the questions: the boxes go above it.
    for (const auto& b : boxes.Seen()) EXPECT_TRUE(b.Topmost) << b.Text;
    EXPECT_TRUE(app::testing::Filter(log_, {"download"}).empty());
  }
}

TEST_F(Windows, TheHookAnswersEveryBoxInPlaceOfAPerson) {
  Serve("/qelvo/public/qelvopdvfull.zip", "pdv full");
  Serve("/qelvo/public/QelvoBridge.zip", "bridge");
  Serve("/qelvo/public/qelvopdv.zip", "pdv");
  std::vector<TBox> seen;
  std::deque<TBoxAnswer> answers{{true, "Café & Cia"}, {true, {}}, {false, "ignored: Cancel"}};
  const TBoxHook before = SetBoxHook([&](const TBox& b) {
    seen.push_back(b);
    TBoxAnswer a = answers.empty() ? TBoxAnswer{} : answers.front();
    if (!answers.empty()) answers.pop_front();
    return a;
  });
  Main().ShowCentred();
  Select(0);
  Click();
  SetBoxHook(before);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen[0].Kind, TBoxKind::Input);
  EXPECT_EQ(seen[0].Caption, "Layout PDV");
  EXPECT_EQ(seen[1].Kind, TBoxKind::Message);
  EXPECT_EQ(seen[1].Text, "O layout não existe Café & Cia.zip");
  EXPECT_EQ(seen[2].Kind, TBoxKind::Input);  // Cancel: the layout is skipped
  EXPECT_EQ(seen.size(), 3u);
  EXPECT_EQ(app::testing::Filter(log_, {"download"}).size(), 4u);
}

TEST_F(Windows, AFailureIsShownInAnErrorBox) {
  auto& m = Main();
  m.ShowCentred();
  Select(7);
  TBoxAnswerer boxes;
  Click();
  ASSERT_EQ(boxes.Seen().size(), 1u);
  EXPECT_EQ(boxes.Seen()[0].Kind, "error");
  EXPECT_EQ(boxes.Seen()[0].Caption, "Qelvo Install");
  EXPECT_EQ(boxes.Seen()[0].Text, "File not found");
  EXPECT_TRUE(::IsWindowEnabled(m.cxButton1));
}

TEST_F(Windows, ClickAndCloseDuringARun) {
  Serve("/qelvo/public/QelvoWebServerSvc.zip", "svc");
  auto& m = Main();
  m.ShowCentred();
  Select(7);
  bool enabledDuringRun = true, visibleAfterClose = false;
  factory_.Downloader->DuringTransfer = [&] {
    enabledDuringRun = ::IsWindowEnabled(m.cxButton1);
    Click();  // the handler ignores it: no second run
    ::SendMessageW(m.Handle(), WM_CLOSE, 0, 0);  // deferred
    visibleAfterClose = ::IsWindowVisible(m.Handle());
  };
  Click();
  EXPECT_FALSE(enabledDuringRun);
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_EQ(app::testing::Filter(log_, {"download"}).size(), 1u);
  Pump();
  EXPECT_FALSE(::IsWindow(m.Handle())) << "closed when the run ended";
}

// The input box from the keyboard: Enter takes the typed text, Escape cancels.
TEST(InputBox, EnterTakesTheTextEscapeCancels) {
  struct TCase {
    WPARAM Key;
    std::optional<std::string> Expected;
  };
  for (const TCase& c : {TCase{VK_RETURN, "Café & Cia"}, TCase{VK_ESCAPE, std::nullopt}}) {
    std::thread typist([&] {
      HWND box = nullptr;
      for (int i = 0; i < 500 && !box; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        box = FindProcessWindow(::GetCurrentProcessId(), kInputBoxClass);
      }
      if (!box) return;
      const HWND edit = ::GetDlgItem(box, kInputBoxEditId);
      ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Café & Cia"));
      ::PostMessageW(edit, WM_KEYDOWN, c.Key, 0);
    });
    const auto answer = RunInputBox(nullptr, "Layout PDV", "Nome da Empresa", "");
    typist.join();
    EXPECT_EQ(answer, c.Expected) << c.Key;
  }
}

// A window procedure that lets an exception escape reaches the application-wide display.
TEST(ExceptionDisplay, ShowsAnEscapedExceptionInABox) {
  class TThrowing : public TWindow {
   public:
    TThrowing() {
      RegisterClassOnce(L"QelvoTestThrowing", nullptr);
      CreateHandle(0, L"QelvoTestThrowing", L"throwing", WS_POPUP, 0, 0, 10, 10, nullptr);
    }

   protected:
    LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override {
      if (msg == WM_USER) throw rtl::Exception("Não foi possível renomear o arquivo: a para b");
      return TWindow::HandleMessage(msg, wp, lp);
    }
  } window;
  std::vector<TBox> seen;
  const TBoxHook before = SetBoxHook([&](const TBox& b) {
    seen.push_back(b);
    return TBoxAnswer{true, {}};
  });
  EXPECT_EQ(::SendMessageW(window.Handle(), WM_USER, 0, 0), 0);
  SetBoxHook(before);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Kind, TBoxKind::Error);
  EXPECT_EQ(seen[0].Caption, "Qelvo Install");
  EXPECT_EQ(seen[0].Text, "Não foi possível renomear o arquivo: a para b");
}

}  // namespace
}  // namespace qelvo::ui::win32::testing
