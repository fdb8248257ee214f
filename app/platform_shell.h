#pragma once
#include "app/shell_port.h"

namespace qelvo::app {

// The installer's shell operations on this machine's platform layer.
class TPlatformShell : public IShell {
 public:
  std::string GetFolderPath(int csidl) override;
  void ShellExecute(const TShellExecuteRequest& request) override;
  void SaveShellLink(const TShellLinkRequest& link, const std::string& linkFile) override;
};

}  // namespace qelvo::app
