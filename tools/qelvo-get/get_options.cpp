#include "tools/qelvo-get/get_options.h"

#include <charconv>
#include <cstring>

namespace qelvo::tools {

namespace {

bool ParseTimeout(const std::string& text, int32_t& out) {
  int32_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v <= 0) return false;
  out = v;
  return true;
}

}  // namespace

bool ParseGetOptions(int argc, const char* const* argv, TGetOptions& opts, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = "option " + arg + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    if (arg == "-h" || arg == "--help") {
      opts.Help = true;
    } else if (arg == "-q" || arg == "--quiet") {
      opts.Quiet = true;
    } else if (arg == "-d") {
      if (!value(opts.Dir)) return false;
    } else if (arg == "-o") {
      if (!value(opts.Name)) return false;
      if (opts.Name.empty() || opts.Name.find_first_of("/\\") != std::string::npos) {
        error = "-o takes a bare file name; use -d for the folder";
        return false;
      }
    } else if (arg == "--proxy") {
      std::string proxy;
      if (!value(proxy)) return false;
      const size_t colon = proxy.rfind(':');
      opts.ProxyHost = proxy.substr(0, colon);
      if (colon != std::string::npos) opts.ProxyPort = proxy.substr(colon + 1);
      if (opts.ProxyHost.empty()) {
        error = "--proxy needs HOST[:PORT]";
        return false;
      }
    } else if (arg == "--proxy-user") {
      if (!value(opts.ProxyUser)) return false;
    } else if (arg == "--proxy-pass") {
      if (!value(opts.ProxyPass)) return false;
    } else if (arg == "--ftp-user") {
      if (!value(opts.FtpUser)) return false;
    } else if (arg == "--ftp-pass") {
      if (!value(opts.FtpPass)) return false;
    } else if (arg == "--ftp-active") {
      opts.FtpActive = true;
    } else if (arg == "--ftp-tls") {
      opts.FtpTLS = true;
    } else if (arg == "--cacert") {
      if (!value(opts.CACert)) return false;
    } else if (arg == "-k" || arg == "--insecure") {
      opts.Insecure = true;
    } else if (arg == "--timeout") {
      std::string t;
      if (!value(t)) return false;
      if (!ParseTimeout(t, opts.TimeoutMs)) {
        error = "--timeout needs a positive number of milliseconds";
        return false;
      }
    } else if (arg == "--max-time") {
      std::string t;
      if (!value(t)) return false;
      if (!ParseTimeout(t, opts.MaxTimeSeconds)) {
        error = "--max-time needs a positive number of seconds";
        return false;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    } else if (opts.Url.empty()) {
      opts.Url = arg;
    } else {
      error = "only one URL, please";
      return false;
    }
  }
  if (!opts.Help && opts.Url.empty()) {
    error = "no URL given";
    return false;
  }
  return true;
}

}  // namespace qelvo::tools
