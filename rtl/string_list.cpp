#include "rtl/string_list.h"

#include "rtl/exceptions.h"
#include "rtl/text.h"

namespace qelvo::rtl {

void TStringList::Check(int index, bool allowEnd) const {
  const int limit = Count() + (allowEnd ? 1 : 0);
  if (index < 0 || index >= limit) throw EListError(index);
}

const std::string& TStringList::Strings(int index) const {
  Check(index);
  return lines_[static_cast<size_t>(index)];
}

void TStringList::SetStrings(int index, std::string s) {
  Check(index);
  lines_[static_cast<size_t>(index)] = std::move(s);
}

int TStringList::Add(std::string s) {
  lines_.push_back(std::move(s));
  return Count() - 1;
}

void TStringList::Insert(int index, std::string s) {
  Check(index, true);
  lines_.insert(lines_.begin() + index, std::move(s));
}

void TStringList::Delete(int index) {
  Check(index);
  lines_.erase(lines_.begin() + index);
}

int TStringList::IndexOf(const std::string& s) const {
  for (int i = 0; i < Count(); ++i)
    if (SameTextAscii(lines_[static_cast<size_t>(i)], s)) return i;
  return -1;
}

std::string TStringList::Text() const {
  std::string out;
  for (const auto& l : lines_) {
    out += l;
    out += "\r\n";
  }
  return out;
}

void TStringList::SetText(const std::string& text) {
  lines_.clear();
  size_t start = 0;
  const size_t n = text.size();
  while (start < n) {
    size_t end = start;
    while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
    lines_.push_back(text.substr(start, end - start));
    if (end < n && text[end] == '\r') {
      ++end;
      if (end < n && text[end] == '\n') ++end;
    } else if (end < n) {
      ++end;
    }
    start = end;
  }
}

int TStringList::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    const auto& l = lines_[static_cast<size_t>(i)];
    const auto eq = l.find('=');
    if (eq != std::string::npos && SameTextAscii(l.substr(0, eq), name)) return i;
  }
  return -1;
}

std::string TStringList::Names(int index) const {
  const auto& l = Strings(index);
  const auto eq = l.find('=');
  return eq == std::string::npos ? std::string() : l.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
  const auto& l = Strings(index);
  const auto eq = l.find('=');
  return eq == std::string::npos ? std::string() : l.substr(eq + 1);
}

std::string TStringList::Values(const std::string& name) const {
  const int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValues(const std::string& name, const std::string& value) {
  const int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  if (i >= 0) SetStrings(i, name + "=" + value);
  else Add(name + "=" + value);
}

}  // namespace qelvo::rtl
