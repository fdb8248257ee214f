#pragma once
// Answers the boxes of this process from a second thread while a test runs the installer
// on its own thread: every real box (MessageBoxW, the input box) is recorded and answered
// the way the test scripted.
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "box_driver.h"

namespace qelvo::ui::win32::testing {

class TBoxAnswerer {
 public:
  TBoxAnswerer();
  ~TBoxAnswerer();
  TBoxAnswerer(const TBoxAnswerer&) = delete;
  TBoxAnswerer& operator=(const TBoxAnswerer&) = delete;

  // Decides a confirmation box: true presses Yes, false presses No.
  void SetConfirmAnswer(std::function<bool(const TOpenBox&)> f);
  // Answers of the input boxes in order; an empty queue presses Cancel.
  void SetInputs(std::deque<std::string> inputs);
  std::vector<TOpenBox> Seen() const;
  // "kind text" of every box seen.
  std::vector<std::string> Texts() const;

 private:
  void Run();
  mutable std::mutex mutex_;
  std::function<bool(const TOpenBox&)> confirm_ = [](const TOpenBox&) { return false; };
  std::deque<std::string> inputs_;
  std::vector<TOpenBox> seen_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace qelvo::ui::win32::testing
