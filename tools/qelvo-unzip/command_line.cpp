#include "tools/qelvo-unzip/command_line.h"

namespace qelvo::tools {

const char* UnzipUsageText() {
  return "usage: qelvo-unzip -l ARCHIVE\n"
         "       qelvo-unzip -t ARCHIVE\n"
         "       qelvo-unzip [-x] ARCHIVE [-d DIR] [-P PASSWORD] [-n | -o] [MASK...]\n"
         "       qelvo-unzip -h | --help | --version\n"
         "  -l  list the items (size, method, CRC-32, date and time, name)\n"
         "  -t  test every item\n"
         "  -x  extract (the default); MASK defaults to \"*.*\"\n"
         "  -d  folder to extract into (created when missing; default: current folder)\n"
         "  -P  password for encrypted items\n"
         "  -n  never overwrite existing files (they are kept and the item is skipped)\n"
         "  -o  overwrite existing files without asking (the default)\n"
         "  -q  quiet: no progress line and no summary\n"
         "  -h, --help  this text; --version  the program's version\n";
}

std::optional<TUnzipOptions> ParseUnzipCommandLine(const std::vector<std::string>& args, std::string& error) {
  TUnzipOptions o;
  bool commandGiven = false;
  bool optionsEnded = false;
  bool overwriteGiven = false;
  auto setCommand = [&](TUnzipCommand c) {
    if (commandGiven && o.Command != c) {
      error = "only one of -l, -t and -x may be given";
      return false;
    }
    o.Command = c;
    commandGiven = true;
    return true;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!optionsEnded && a == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (a == "-l" || a == "-t" || a == "-x")) {
      if (!setCommand(a == "-l" ? TUnzipCommand::List : a == "-t" ? TUnzipCommand::Test : TUnzipCommand::Extract))
        return std::nullopt;
    } else if (!optionsEnded && (a == "-h" || a == "--help" || a == "--version")) {
      // Answered whatever else the line holds.
      TUnzipOptions info;
      info.Command = a == "--version" ? TUnzipCommand::Version : TUnzipCommand::Help;
      return info;
    } else if (!optionsEnded && a == "-q") {
      o.Quiet = true;
    } else if (!optionsEnded && (a == "-n" || a == "-o")) {
      const TUnzipOverwrite wanted = a == "-n" ? TUnzipOverwrite::Never : TUnzipOverwrite::Replace;
      if (overwriteGiven && o.Overwrite != wanted) {
        error = "only one of -n and -o may be given";
        return std::nullopt;
      }
      o.Overwrite = wanted;
      overwriteGiven = true;
    } else if (!optionsEnded && (a == "-d" || a == "-P")) {
      if (i + 1 >= args.size()) {
        error = "option " + a + " needs a value";
        return std::nullopt;
      }
      if (a == "-d") {
        o.Directory = args[++i];
      } else {
        o.Password = args[++i];
        o.HasPassword = true;
      }
    } else if (!optionsEnded && a.size() > 1 && a[0] == '-') {
      error = "unknown option " + a;
      return std::nullopt;
    } else if (o.Archive.empty()) {
      o.Archive = a;
    } else {
      o.Masks.push_back(a);
    }
  }
  if (o.Archive.empty()) {
    error = "no archive given";
    return std::nullopt;
  }
  if (o.Command != TUnzipCommand::Extract && (!o.Masks.empty() || !o.Directory.empty())) {
    error = "-l and -t take only the archive";
    return std::nullopt;
  }
  return o;
}

}  // namespace qelvo::tools
