#include "box_answerer.h"

#include <chrono>

namespace qelvo::ui::win32::testing {

TBoxAnswerer::TBoxAnswerer() : thread_([this] { Run(); }) {}

TBoxAnswerer::~TBoxAnswerer() {
  stop_ = true;
  thread_.join();
}

void TBoxAnswerer::SetConfirmAnswer(std::function<bool(const TOpenBox&)> f) {
  std::lock_guard lock(mutex_);
  confirm_ = std::move(f);
}

void TBoxAnswerer::SetInputs(std::deque<std::string> inputs) {
  std::lock_guard lock(mutex_);
  inputs_ = std::move(inputs);
}

std::vector<TOpenBox> TBoxAnswerer::Seen() const {
  std::lock_guard lock(mutex_);
  return seen_;
}

std::vector<std::string> TBoxAnswerer::Texts() const {
  std::vector<std::string> out;
  for (const auto& b : Seen()) out.push_back(b.Kind + " " + b.Text);
  return out;
}

void TBoxAnswerer::Run() {
  HWND answered = nullptr;  // still on screen for a moment after its answer
  while (!stop_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (answered && ::IsWindow(answered) && ::IsWindowVisible(answered)) continue;
    answered = nullptr;
    auto box = FindOpenBox(::GetCurrentProcessId());
    if (!box) continue;
    bool accept = true;
    std::string text;
    {
      std::lock_guard lock(mutex_);
      seen_.push_back(*box);
      if (box->Kind == "confirm") accept = confirm_(*box);
      if (box->Kind == "input") {
        accept = !inputs_.empty();
        if (accept) {
          text = inputs_.front();
          inputs_.pop_front();
        }
      }
    }
    AnswerBox(*box, accept, text);
    answered = box->Window;
  }
}

}  // namespace qelvo::ui::win32::testing
