#pragma once
// The command line of qelvo-unzip:
//   qelvo-unzip -l ARCHIVE                       list the items
//   qelvo-unzip -t ARCHIVE                       test every item
//   qelvo-unzip [-x] ARCHIVE [-d DIR] [-P PASSWORD] [MASK...]   extract
// -q (anywhere) keeps it quiet: no progress line, no summary. -n never overwrites an
// existing file, -o overwrites without asking (the default: existing files are
// replaced). -h/--help and --version print and exit 0.
#include <optional>
#include <string>
#include <vector>

namespace qelvo::tools {

enum class TUnzipCommand { Extract, List, Test, Help, Version };
enum class TUnzipOverwrite { Replace, Never };

struct TUnzipOptions {
  TUnzipCommand Command = TUnzipCommand::Extract;
  std::string Archive;
  std::string Directory;  // "" = the current folder
  std::string Password;   // bytes, as given
  bool HasPassword = false;
  bool Quiet = false;
  TUnzipOverwrite Overwrite = TUnzipOverwrite::Replace;
  std::vector<std::string> Masks;  // empty = "*.*"
};

// Parses argv[1..]; answers nothing and sets error to the reason on a bad command line.
std::optional<TUnzipOptions> ParseUnzipCommandLine(const std::vector<std::string>& args, std::string& error);

const char* UnzipUsageText();

}  // namespace qelvo::tools
