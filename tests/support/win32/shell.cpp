// The shell of a Windows test program: under Wine, the Linux /bin/sh. Wine starts Linux
// programs but hands back no process to wait for, so the command line writes its exit
// status to a file that is polled, bounded in time.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/win32/wide_text.h"
#include "tests/support/files.h"

namespace qelvo::test {
namespace {

using platform::win32::Wide;

constexpr const wchar_t* kShell = L"Z:\\bin\\sh";
constexpr int kShellTimeoutMs = 300000;

// One argument in the quoting the Windows command-line parser undoes.
std::string QuoteArgument(const std::string& arg) {
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, '\\');
  return out + "\"";
}

std::string UniqueName(const std::string& tag) {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  return "qelvo-" + tag + "-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(seed % 100000) + "-" +
         std::to_string(counter++);
}

}  // namespace

std::string ShellPath(const std::string& path) {
  std::string p = path;
  if (p.size() >= 2 && (p[0] == 'Z' || p[0] == 'z') && p[1] == ':') p.erase(0, 2);
  for (char& c : p)
    if (c == '\\') c = '/';
  return p;
}

std::string MakeTempFolder(const std::string& tag) {
  // "/tmp" on the current drive: under Wine that is Z:, the Linux /tmp the shell sees.
  std::error_code ec;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string dir = "/tmp/" + UniqueName(tag);
    if (std::filesystem::create_directories(dir, ec)) return dir;
  }
  return "";
}

int ShellStatus(const std::string& command, const std::string& cwd) {
  if (::GetFileAttributesW(kShell) == INVALID_FILE_ATTRIBUTES) return -1;
  const std::string status = "/tmp/" + UniqueName("status");
  const std::string line = (cwd.empty() ? "" : "cd " + ShellQuote(cwd) + " && ") + "{ " + command + "\n}; echo $? >" +
                           status + ".part && mv " + status + ".part " + status;
  std::wstring commandLine = Wide("sh -c " + QuoteArgument(line));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(kShell, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  // The handles Wine hands back for a Linux program are stale values, not its own: closing
  // them closes whatever handle of this process has that number now (its standard output,
  // so later output was lost, or the registry's HKEY_CURRENT_USER, so certificate-store
  // lookups failed). They are left alone.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kShellTimeoutMs);
  while (std::chrono::steady_clock::now() < until) {
    const std::string text = ReadFile(status);
    if (!text.empty()) {
      std::error_code ec;
      std::filesystem::remove(status, ec);
      return std::atoi(text.c_str());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

}  // namespace qelvo::test
