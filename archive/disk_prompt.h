#pragma once
// The box that asks the operator for a disk of a spanned set when nobody handles the
// request event. The archive core has no windows of its own, so the front end installs
// the box it shows (a modal box in the desktop program, a plain refusal in the
// command-line tool); with none installed every request is abandoned.
#include <string>

namespace qelvo::archive {

class IArcDiskPrompt {
 public:
  virtual ~IArcDiskPrompt() = default;
  // A modal box with OK and Cancel; true for OK.
  virtual bool AskForDisk(const std::string& caption, const std::string& text) = 0;
};

// The process-wide prompt (not owned); none restores the refusing default.
void SetArcDiskPrompt(IArcDiskPrompt* prompt);
IArcDiskPrompt* ArcDiskPrompt();

// Installs a prompt for its lifetime and puts the previous one back.
class TArcDiskPromptScope {
 public:
  explicit TArcDiskPromptScope(IArcDiskPrompt* prompt) : previous_(ArcDiskPrompt()) { SetArcDiskPrompt(prompt); }
  ~TArcDiskPromptScope() { SetArcDiskPrompt(previous_); }
  TArcDiskPromptScope(const TArcDiskPromptScope&) = delete;
  TArcDiskPromptScope& operator=(const TArcDiskPromptScope&) = delete;

 private:
  IArcDiskPrompt* previous_;
};

inline constexpr const char* kInsertFloppyCaption = "Insert floppy";
inline constexpr const char* kInsertLastDiskText = "Insert the last disk in the spanned disk set";
inline constexpr const char* kInsertBlankDiskText = "Insert a blank floppy disk";
// "Insert disk number %d of the spanned disk set" for a 1-based disk number.
std::string InsertNthDiskText(int diskNumber);

// Shows text in the installed prompt; false (abort) when none is installed or the
// operator cancels.
bool AskForDisk(const std::string& text);

}  // namespace qelvo::archive
