#include "tests/support/files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qelvo::test {

namespace fs = std::filesystem;

fs::path Utf8Path(const std::string& text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string ReadFile(const std::string& nativePath) {
  std::ifstream in(Utf8Path(nativePath), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& nativePath, const std::string& bytes) {
  const fs::path path = Utf8Path(nativePath);
  std::error_code ec;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool NativeExists(const std::string& nativePath) {
  std::error_code ec;
  return fs::exists(Utf8Path(nativePath), ec);
}

void CopyOver(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::remove(to, ec);
  fs::copy_file(from, to);
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : ShellPath(s)) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

bool HaveTool(const std::string& name) { return RunShell("command -v " + name + " >/dev/null 2>&1"); }

std::string CorpusFolder() { return QELVO_SOURCE_DIR "/tests/data/corpus"; }

}  // namespace qelvo::test
