#include "app/platform_shell.h"

#include "platform/file_system.h"
#include "platform/shell.h"

namespace qelvo::app {

std::string TPlatformShell::GetFolderPath(int csidl) { return platform::GetSpecialFolder(csidl); }

void TPlatformShell::ShellExecute(const TShellExecuteRequest& request) {
  // Only "open" is used; owner, parameters and show command have no meaning for xdg-open.
  if (request.Verb == "open") platform::ShellOpen(request.File);
}

void TPlatformShell::SaveShellLink(const TShellLinkRequest& link, const std::string& linkFile) {
  platform::TShellLink l;
  l.Description = link.Description;
  l.Path = link.Path;
  l.Arguments = link.Arguments;
  l.WorkingDirectory = link.WorkingDirectory;
  platform::SaveShellLink(l, linkFile);
}

}  // namespace qelvo::app
