#include <sys/stat.h>
#include <sys/wait.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/files.h"

namespace qelvo::test {

int ShellStatus(const std::string& command, const std::string& cwd) {
  const std::string line = cwd.empty() ? command : "cd " + ShellQuote(cwd) + " && " + command;
  const int rc = std::system(line.c_str());
  return rc != -1 && WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string ShellPath(const std::string& path) { return path; }

std::string MakeTempFolder(const std::string& tag) {
  std::string tmpl = (std::filesystem::temp_directory_path() / ("qelvo-" + tag + "-XXXXXX")).string();
  if (::mkdtemp(tmpl.data()) == nullptr) return "";
  // Peers that drop their privileges still read their configuration and documents here.
  ::chmod(tmpl.c_str(), 0755);
  return tmpl;
}

}  // namespace qelvo::test
