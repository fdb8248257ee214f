#pragma once
// Shell operations of the installer: the desktop folder, opening a file with its
// associated handler, and saving a shortcut file.
#include <optional>
#include <string>

#include "platform/file_system.h"

namespace qelvo::app {

enum TShowCommand : int { SW_SHOWNORMAL = 1, SW_SHOW = 5 };
using platform::CSIDL_DESKTOP;

struct TShellExecuteRequest {
  bool OwnerIsMainWindow = false;
  std::string Verb;
  std::string File;
  std::optional<std::string> Parameters;  // nullopt: no parameters at all
  std::optional<std::string> Directory;   // nullopt: no working folder
  int ShowCommand = SW_SHOWNORMAL;
};

struct TShellLinkRequest {
  std::string Description;
  std::string Path;
  std::string Arguments;
  std::string WorkingDirectory;
};

class IShell {
 public:
  virtual ~IShell() = default;
  // The special folder's path as the shell reports it; "" when it cannot be determined.
  virtual std::string GetFolderPath(int csidl) = 0;
  // Starts the handler and returns at once; the result is not reported.
  virtual void ShellExecute(const TShellExecuteRequest& request) = 0;
  // Writes (or replaces) the shortcut file.
  virtual void SaveShellLink(const TShellLinkRequest& link, const std::string& linkFile) = 0;
};

}  // namespace qelvo::app
