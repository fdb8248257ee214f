#include "tests/support/files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qelvo::test {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& nativePath) {
  std::ifstream in(nativePath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& nativePath, const std::string& bytes) {
  const fs::path parent = fs::path(nativePath).parent_path();
  std::error_code ec;
  if (!parent.empty()) fs::create_directories(parent, ec);
  std::ofstream out(nativePath, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool NativeExists(const std::string& nativePath) {
  std::error_code ec;
  return fs::exists(nativePath, ec);
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : ShellPath(s)) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool HaveTool(const std::string& name) { return RunShell("command -v " + name + " >/dev/null 2>&1"); }

std::string CorpusFolder() { return QELVO_SOURCE_DIR "/tests/data/corpus"; }

}  // namespace qelvo::test
