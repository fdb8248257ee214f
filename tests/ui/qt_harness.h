#pragma once
// One QApplication for the suite (offscreen), and a box answerer: while a test runs the
// installer, it watches for the modal box on top, writes what it shows to a log and
// answers it the way the test scripted.
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace qelvo::ui::testing {

struct TBox {
  std::string Kind;  // "confirm", "message", "error", "input"
  std::string Title;
  std::string Text;
};

class TBoxAnswerer {
 public:
  TBoxAnswerer();
  ~TBoxAnswerer();
  // Decides a confirmation box: true presses Yes, false presses No.
  std::function<bool(const TBox&)> ConfirmAnswer = [](const TBox&) { return false; };
  // Answers of the input boxes in order; an empty queue presses Cancel.
  std::deque<std::string> Inputs;
  std::vector<TBox> Seen;
  std::vector<std::string> Texts() const;

 private:
  void Poll();
  QTimer timer_;
};

// Folder for files a person may want to look at after the run.
std::string OutputFolder(const std::string& name);

}  // namespace qelvo::ui::testing
