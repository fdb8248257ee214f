#include "archive/disk_prompt.h"

namespace qelvo::archive {

namespace {
IArcDiskPrompt*& InstalledPrompt() {
  static IArcDiskPrompt* prompt = nullptr;
  return prompt;
}
}  // namespace

void SetArcDiskPrompt(IArcDiskPrompt* prompt) { InstalledPrompt() = prompt; }

IArcDiskPrompt* ArcDiskPrompt() { return InstalledPrompt(); }

std::string InsertNthDiskText(int diskNumber) {
  return "Insert disk number " + std::to_string(diskNumber) + " of the spanned disk set";
}

bool AskForDisk(const std::string& text) {
  IArcDiskPrompt* prompt = InstalledPrompt();
  return prompt != nullptr && prompt->AskForDisk(kInsertFloppyCaption, text);
}

}  // namespace qelvo::archive
