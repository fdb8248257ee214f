#pragma once
// Environment variables a test changes for a while, restored when the object goes.
#include <optional>
#include <string>

namespace qelvo::test {

// The variable the system's temporary folder comes from: TMPDIR, or TMP on Windows.
extern const char* const kTempFolderVariable;

class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  void Set(const std::string& value);

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

// True for a Windows program running under Wine, whose limits some tests work around.
bool UnderWine();

// Under Wine a tool started through the Linux shell now and then ends with status 1 and no
// output at all, and none of its work done, although the tools print a reason for every
// failure: the run never reached the tool. Such a run is worth one more try; this says so
// on the test's output when it is.
bool WineLostTheRun(int status, const std::string& output);

// Sets (or, with nullopt, removes) a variable of this process.
void SetEnvironment(const std::string& name, const std::optional<std::string>& value);

}  // namespace qelvo::test
