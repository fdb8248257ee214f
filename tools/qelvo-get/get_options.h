#pragma once
// Command line of qelvo-get.
#include <cstdint>
#include <string>

namespace qelvo::tools {

struct TGetOptions {
  std::string Dir = ".";
  std::string Name;
  std::string ProxyHost;
  std::string ProxyPort;
  std::string ProxyUser;
  std::string ProxyPass;
  int32_t TimeoutMs = 90000;
  int32_t MaxTimeSeconds = 0;  // 0: no bound on the whole transfer
  bool Quiet = false;
  bool Help = false;
  std::string Url;
};

inline constexpr const char* kGetUsage =
    "usage: qelvo-get [-d DIR] [-o NAME] [--proxy HOST:PORT] [--proxy-user U] [--proxy-pass P]\n"
    "                 [--timeout MS] [--max-time SECONDS] [-q] URL\n"
    "Downloads URL into DIR (default: the current folder) through NAME.part, resuming a part\n"
    "file left by an earlier run. Exit status: 0 finished, 1 ended without finishing (the\n"
    "part file stays for a later run), 2 usage or local file error. --timeout bounds each\n"
    "wait, --max-time the whole transfer; Ctrl-C stops it and keeps the part file.\n";

// Fills opts from argv; false with a message in error on a usage error.
bool ParseGetOptions(int argc, const char* const* argv, TGetOptions& opts, std::string& error);

}  // namespace qelvo::tools
