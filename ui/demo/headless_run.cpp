#include "ui/demo/headless_run.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>
#include <cstdio>

#include "app/platform_shell.h"
#include "app/profiles.h"
#include "app/real_components.h"
#include "ui/program.h"
#include "ui/qt_text.h"

namespace qelvo::ui::demo {
namespace {

// Watches the windows while the run pumps messages: prints each status text, the last
// figures of each download and every box with the answer given, and saves screenshots.
class TOperator : public QObject {
 public:
  TOperator(TProgram& program, const THeadlessOptions& options) : program_(program), options_(options) {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Watch(); });
    // The status window is hidden when a download ends, often with no pump before the
    // unpacking; its show and hide are watched as they happen.
    program_.frmStatus.installEventFilter(this);
  }
  ~TOperator() override { program_.frmStatus.removeEventFilter(this); }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show || event->type() == QEvent::Hide) Watch();
    return QObject::eventFilter(watched, event);
  }

  void Run() {
    auto& main = program_.frmPrincipalQelvoOneInstall;
    const char* caption = app::Profiles()[static_cast<size_t>(options_.Profile)].Caption;
    Say(std::string("selecting profile ") + std::to_string(options_.Profile) + " \"" + caption + "\"");
    main.rgProdutosItems->button(options_.Profile)->click();
    QApplication::processEvents();
    Shot("main-window", &main);
    Say("clicking \"Baixar e Instalar\"");
    timer_.start();
    main.cxButton1->click();
    timer_.stop();
    QApplication::processEvents();
    Shot("end", &main);
    Say(errors_ == 0 ? "the install run ended" : "the install run ended with an error box");
  }
  int Errors() const { return errors_; }

 private:
  void Say(const std::string& text) {
    std::printf("run-demo: %s\n", text.c_str());
    std::fflush(stdout);
  }

  void Shot(const std::string& what, QWidget* w) {
    QString name = Q(what).replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9]+")), QStringLiteral("-"));
    while (name.endsWith(QLatin1Char('-'))) name.chop(1);
    const QString file =
        QDir(Q(options_.ScreensFolder)).filePath(QString::asprintf("%02d-", ++shots_) + name + QStringLiteral(".png"));
    if (w->grab().save(file)) Say("  screenshot " + S(file));
  }

  void Watch() {
    auto& status = program_.frmStatus;
    auto& main = program_.frmPrincipalQelvoOneInstall;
    const std::string figures = S(main.lConnectionInfo->text());
    const std::string message = status.isVisible() ? S(status.lblStatus->text()) : std::string();
    if (message != lastStatus_) {
      // The figures as they stand when the status window leaves a download's text are
      // that download's last ones (unless nothing moved: no body arrived).
      if (!download_.empty() && figures != figuresAtStart_) Say("  downloaded: " + figures + BarPercent());
      // "Aguarde" opens the run; every other text announces a download.
      download_ = message == "Aguarde" ? std::string() : message;
      figuresAtStart_ = lastFigures_;
      if (!message.empty()) Say("status window: " + message);
      lastStatus_ = message;
      photographed_ = false;
    } else if (figures != lastFigures_ && !download_.empty() && !photographed_ && main.ProgressBar1->value() > 0) {
      // One picture per download, once it is under way.
      photographed_ = true;
      Shot("download " + download_, &main);
      Shot("status window", &status);
    }
    lastFigures_ = figures;
    AnswerBox();
  }

  std::string BarPercent() const {
    const auto& bar = *program_.frmPrincipalQelvoOneInstall.ProgressBar1;
    const int percent = bar.maximum() > 0 ? static_cast<int>(100LL * bar.value() / bar.maximum()) : 0;
    return " (bar at " + std::to_string(percent) + "%)";
  }

  void AnswerBox() {
    QWidget* top = QApplication::activeModalWidget();
    if (!top || !top->isVisible()) return;
    if (auto* box = qobject_cast<QMessageBox*>(top)) {
      const std::string text = S(box->text());
      Shot("box", box);
      if (box->standardButtons() & QMessageBox::Yes) {
        // Packages already in temp are kept, as a second run of the demo expects.
        Say("box: " + text + " -> Não");
        box->button(QMessageBox::No)->click();
        return;
      }
      if (box->icon() == QMessageBox::Critical) ++errors_;
      Say(std::string(box->icon() == QMessageBox::Critical ? "error box: " : "box: ") + text + " -> OK");
      box->button(QMessageBox::Ok)->click();
      return;
    }
    if (auto* input = qobject_cast<QInputDialog*>(top)) {
      Shot("input-box", input);
      const bool answered = !typedLayout_;
      Say("input box \"" + S(input->labelText()) + "\" -> " + (answered ? "\"" + options_.Layout + "\"" : "Cancelar"));
      if (answered) {
        typedLayout_ = true;
        input->setTextValue(Q(options_.Layout));
        input->accept();
      } else {
        input->reject();
      }
    }
  }

  TProgram& program_;
  const THeadlessOptions& options_;
  QTimer timer_;
  std::string lastStatus_, lastFigures_;
  std::string download_;        // status text of the download under way
  std::string figuresAtStart_;  // the figures before it started
  bool photographed_ = false;
  bool typedLayout_ = false;
  int shots_ = 0;
  int errors_ = 0;
};

}  // namespace

int RunHeadless(const THeadlessOptions& options) {
  QDir().mkpath(Q(options.ScreensFolder));
  app::TPlatformShell shell;
  app::TRealComponentFactory components;
  app::TInstallerConfig config = app::DefaultInstallerConfig();
  config.PackageHost = "127.0.0.1";
  config.PackagePort = options.Port;
  TProgram program(shell, components, config);
  program.frmPrincipalQelvoOneInstall.ShowCentred();
  QApplication::processEvents();
  TOperator op(program, options);
  op.Run();
  return op.Errors() == 0 ? 0 : 1;
}

}  // namespace qelvo::ui::demo
