#pragma once
// The command line of qelvo-unzip:
//   qelvo-unzip -l ARCHIVE                       list the items
//   qelvo-unzip -t ARCHIVE                       test every item
//   qelvo-unzip [-x] ARCHIVE [-d DIR] [-P PASSWORD] [MASK...]   extract
// -q (anywhere) keeps it quiet: no progress line, no summary.
#include <optional>
#include <string>
#include <vector>

namespace qelvo::tools {

enum class TUnzipCommand { Extract, List, Test };

struct TUnzipOptions {
  TUnzipCommand Command = TUnzipCommand::Extract;
  std::string Archive;
  std::string Directory;  // "" = the current folder
  std::string Password;   // bytes, as given
  bool HasPassword = false;
  bool Quiet = false;
  std::vector<std::string> Masks;  // empty = "*.*"
};

// Parses argv[1..]; answers nothing and sets error to the reason on a bad command line.
std::optional<TUnzipOptions> ParseUnzipCommandLine(const std::vector<std::string>& args, std::string& error);

const char* UnzipUsageText();

}  // namespace qelvo::tools
