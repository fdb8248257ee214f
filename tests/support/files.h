#pragma once
// Native files, shell tools and the corpus folder, as the tests reach them.
#include <string>

namespace qelvo::test {

// The whole file; "" when it cannot be read.
std::string ReadFile(const std::string& nativePath);
// Replaces the file, creating its folders first.
void WriteFile(const std::string& nativePath, const std::string& bytes);
bool NativeExists(const std::string& nativePath);

// Runs a shell command line, in folder cwd when given; its exit status, -1 when it did
// not exit normally.
int ShellStatus(const std::string& command, const std::string& cwd = {});
inline bool RunShell(const std::string& command) { return ShellStatus(command) == 0; }
// The same with the command's output thrown away.
inline bool RunQuiet(const std::string& command) { return RunShell(command + " >/dev/null 2>&1"); }
std::string ShellQuote(const std::string& s);
bool HaveTool(const std::string& name);

// The real-world archives, committed in tests/data/corpus of the source tree. Never
// empty: a test that opens a missing file there fails.
std::string CorpusFolder();

}  // namespace qelvo::test
