#pragma once
// A fresh folder under the system temp folder, removed with everything in it (read-only
// items included) when the object goes.
#include <filesystem>
#include <string>

namespace qelvo::test {

class TempFolder {
 public:
  // tag names the folder ("/tmp/qelvo-<tag>-XXXXXX") so a leftover shows its suite.
  explicit TempFolder(const std::string& tag = "test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& Native() const { return native_; }
  // The same folder in the program's Windows form ("Z:\tmp\..."), without trailing "\".
  const std::string& Windows() const { return windows_; }
  // Native and Windows paths of an item inside; relative may use "/".
  std::string File(const std::string& relative) const { return native_ + "/" + relative; }
  std::string WindowsFile(const std::string& relative) const;
  std::filesystem::path operator/(const std::string& relative) const { return std::filesystem::path(native_) / relative; }
  // Writes a file inside, creating its folders.
  void Write(const std::string& relative, const std::string& bytes) const;

 private:
  std::string native_, windows_;
};

// Makes everything below root writable and removes it.
void RemoveTree(const std::string& root);

}  // namespace qelvo::test
