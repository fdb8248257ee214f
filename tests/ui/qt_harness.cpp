#include "qt_harness.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <cstdlib>
#include <filesystem>

#include "ui/application.h"
#include "ui/qt_text.h"

namespace qelvo::ui::testing {
namespace {

class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    app_ = new TApplication(argc, argv);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  TApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

TBoxAnswerer::TBoxAnswerer() {
  timer_.setInterval(5);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

TBoxAnswerer::~TBoxAnswerer() { timer_.stop(); }

std::vector<std::string> TBoxAnswerer::Texts() const {
  std::vector<std::string> out;
  for (const auto& b : Seen) out.push_back(b.Kind + " " + b.Text);
  return out;
}

void TBoxAnswerer::Poll() {
  QWidget* top = QApplication::activeModalWidget();
  if (!top || !top->isVisible()) return;
  if (auto* box = qobject_cast<QMessageBox*>(top)) {
    TBox b{"message", S(box->windowTitle()), S(box->text())};
    if (box->standardButtons() & QMessageBox::Yes) {
      b.Kind = "confirm";
      Seen.push_back(b);
      box->button(ConfirmAnswer(b) ? QMessageBox::Yes : QMessageBox::No)->click();
      return;
    }
    if (box->icon() == QMessageBox::Critical) b.Kind = "error";
    Seen.push_back(b);
    box->button(QMessageBox::Ok)->click();
    return;
  }
  if (auto* input = qobject_cast<QInputDialog*>(top)) {
    Seen.push_back({"input", S(input->windowTitle()), S(input->labelText())});
    if (Inputs.empty()) {
      input->reject();
    } else {
      input->setTextValue(Q(Inputs.front()));
      Inputs.pop_front();
      input->accept();
    }
  }
}

std::string OutputFolder(const std::string& name) {
  const auto dir = std::filesystem::path(QELVO_BINARY_DIR) / name;
  std::filesystem::create_directories(dir);
  return dir.string();
}

}  // namespace qelvo::ui::testing
