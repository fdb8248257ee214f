#pragma once
// Native files, shell tools and the corpus folder, as the tests reach them.
#include <concepts>
#include <filesystem>
#include <string>

namespace qelvo::test {

// The whole file; "" when it cannot be read.
std::string ReadFile(const std::string& nativePath);
// Replaces the file, creating its folders first.
void WriteFile(const std::string& nativePath, const std::string& bytes);
bool NativeExists(const std::string& nativePath);

// A path from UTF-8 text. A narrow string would be read in the ANSI code page on
// Windows, so a name from an archive or a literal must come through here.
std::filesystem::path Utf8Path(const std::string& text);

// A path as the text the functions here take (Windows paths are not strings).
template <typename P>
concept FsPath = std::same_as<P, std::filesystem::path>;
inline std::string PathText(const std::filesystem::path& p) {
  const std::u8string u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}
template <FsPath P>
std::string ReadFile(const P& p) {
  return ReadFile(PathText(p));
}
template <FsPath P>
void WriteFile(const P& p, const std::string& bytes) {
  WriteFile(PathText(p), bytes);
}
template <FsPath P>
bool NativeExists(const P& p) {
  return NativeExists(PathText(p));
}

// Copies a file over another one. (libstdc++ for Windows takes every existing target for
// the source itself, its file ids being 0, and refuses to overwrite it.)
void CopyOver(const std::filesystem::path& from, const std::filesystem::path& to);

// Runs a POSIX shell command line, in folder cwd when given; its exit status, -1 when it
// did not exit normally. A Windows test program under Wine runs the Linux shell (its
// status comes back through a file, bounded in time); elsewhere on Windows there is no
// shell and HaveTool answers false.
int ShellStatus(const std::string& command, const std::string& cwd = {});
template <FsPath P>
int ShellStatus(const std::string& command, const P& cwd) {
  return ShellStatus(command, PathText(cwd));
}
inline bool RunShell(const std::string& command) { return ShellStatus(command) == 0; }
// The same with the command's output thrown away.
inline bool RunQuiet(const std::string& command) { return RunShell(command + " >/dev/null 2>&1"); }
std::string ShellQuote(const std::string& s);
bool HaveTool(const std::string& name);
// A native path as the shell names it ("Z:\tmp\x" and "/tmp\x" become "/tmp/x" on
// Windows; unchanged elsewhere).
std::string ShellPath(const std::string& path);
// Creates a fresh folder named after tag under the temporary folder the shell shares.
std::string MakeTempFolder(const std::string& tag);

// The real-world archives, committed in tests/data/corpus of the source tree. Never
// empty: a test that opens a missing file there fails.
std::string CorpusFolder();

}  // namespace qelvo::test
