#pragma once
// An ordered list of text lines: headers, cookies, listings. Name=value access treats
// the text before the first '=' as the name (compared without regard to ASCII case).
#include <string>
#include <vector>

namespace qelvo::rtl {

class TStringList {
 public:
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& Strings(int index) const;
  void SetStrings(int index, std::string s);
  const std::string& operator[](int index) const { return Strings(index); }

  int Add(std::string s);
  void Insert(int index, std::string s);
  void Delete(int index);
  void Clear() { lines_.clear(); }
  int IndexOf(const std::string& s) const;

  // Every line followed by CR LF.
  std::string Text() const;
  // Splits at CR LF, LF or CR; a last line without a break still counts.
  void SetText(const std::string& text);

  int IndexOfName(const std::string& name) const;
  std::string Names(int index) const;
  std::string ValueFromIndex(int index) const;
  std::string Values(const std::string& name) const;
  // An empty value removes the line, as the classic list does.
  void SetValues(const std::string& name, const std::string& value);

  void Assign(const TStringList& other) { lines_ = other.lines_; }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  void Check(int index, bool allowEnd = false) const;
  std::vector<std::string> lines_;
};

}  // namespace qelvo::rtl
