#pragma once
// The disk prompt of qelvo-unzip: a command-line run cannot wait for somebody to change
// disks, so a request for another disk of a spanned set is answered with Cancel after a
// message that says what to do instead.
#include "archive/disk_prompt.h"

namespace qelvo::tools {

class TDiskRefusal : public archive::IArcDiskPrompt {
 public:
  bool AskForDisk(const std::string& caption, const std::string& text) override;
};

}  // namespace qelvo::tools
