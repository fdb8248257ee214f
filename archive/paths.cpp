#include "archive/paths.h"

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/file_system.h"
#include "platform/os_error.h"
#include "rtl/exceptions.h"
#include "rtl/file_path.h"
#include "rtl/text.h"

namespace qelvo::archive {

namespace {

std::u16string UpperAsciiUtf16(std::string_view s) {
  std::u16string u = rtl::Utf8ToUtf16(s);
  for (char16_t& c : u)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return u;
}

// The walk of WildcardMatch, tabled: a "*" that is not the last pattern character tries
// the rest of the pattern against every remaining non-empty suffix of the text. For each
// such star, Rest[s][j] holds whether the pattern after it matches some suffix starting
// at j or later; stars are tabled from the last to the first, so the whole match costs
// O(pattern x text) instead of the exponential plain recursion.
class TWildcardMatcher {
 public:
  TWildcardMatcher(std::u16string_view text, std::u16string_view pattern) : t_(text), p_(pattern) {
    starIndex_.assign(p_.size(), -1);
    for (size_t i = 0; i < p_.size(); ++i)
      if (p_[i] == u'*') {
        starIndex_[i] = static_cast<int>(stars_.size());
        stars_.push_back(i);
      }
    rest_.resize(stars_.size());
    for (size_t s = stars_.size(); s-- > 0;) {
      const size_t after = stars_[s] + 1;
      if (after == p_.size()) continue;
      std::vector<bool>& r = rest_[s];
      r.assign(t_.size() + 1, false);
      for (size_t j = t_.size(); j-- > 0;) r[j] = r[j + 1] || Match(j, after);
    }
  }

  // The pattern from i against the text from j.
  bool Match(size_t j, size_t i) const {
    const std::u16string_view pattern = p_.substr(i);
    if (j == t_.size()) return pattern.empty();
    if (pattern == u"*" || pattern == u"*.*") return true;
    if (pattern.empty()) return false;
    while (true) {
      if (i == p_.size()) return j == t_.size();
      const char16_t c = p_[i];
      if (c == u'*') {
        if (i + 1 == p_.size()) return true;
        return rest_[starIndex_[i]][j];
      }
      if (j == t_.size()) return false;
      if (c != u'?' && c != t_[j]) return false;
      ++i;
      ++j;
    }
  }

 private:
  std::u16string_view t_, p_;
  std::vector<size_t> stars_;
  std::vector<int> starIndex_;
  std::vector<std::vector<bool>> rest_;
};

}  // namespace

TArcPathType GetPathType(std::string_view path) {
  if (path.find(':') != std::string_view::npos || path.find("\\\\") != std::string_view::npos) return ptAbsolute;
  if (path.find_first_of("\\/") != std::string_view::npos) return ptRelative;
  return ptNone;
}

std::string WithTrailingBackslash(std::string_view path) {
  std::string r(path);
  if (!r.empty() && r.back() != '\\' && r.back() != ':') r += '\\';
  return r;
}

std::string WithoutTrailingBackslash(std::string path) {
  if (path.size() > 1 && path.back() == '\\' && path[path.size() - 2] != ':') path.pop_back();
  return path;
}

std::string FolderWithoutDelimiter(const std::string& path) {
  return WithoutTrailingBackslash(rtl::ExtractFilePath(path));
}

int PositionOfNthBackslash(std::string_view s, int n) {
  const std::u16string u = rtl::Utf8ToUtf16(s);
  int seen = 0;
  for (size_t k = 0; k < u.size(); ++k)
    if (u[k] == u'\\' && ++seen == n) return static_cast<int>(k);
  return static_cast<int>(u.size());
}

void CreateDirectoryPath(const std::string& dir) {
  if (platform::DirectoryExists(dir)) return;
  // The drive, and the server and share of a network path, are never created; a
  // relative path starts with its first level.
  size_t n = dir.find("\\\\") != std::string::npos ? 5 : dir.find(':') != std::string::npos ? 2 : 1;
  while (true) {
    // Byte position of the n-th backslash (backslashes are single bytes in UTF-8).
    size_t end = dir.size();
    size_t seen = 0;
    for (size_t k = 0; k < dir.size(); ++k)
      if (dir[k] == '\\' && ++seen == n) {
        end = k;
        break;
      }
    const std::string prefix = dir.substr(0, end);
    if (!prefix.empty() && !platform::DirectoryExists(prefix) && !platform::CreateDir(prefix)) {
      const int code = platform::GetLastOSError();
      throw rtl::EInOutError("Unable to create directory \"" + prefix + "\": " + platform::SysErrorMessage(code),
                             code);
    }
    ++n;
    if (end == dir.size()) return;
  }
}

TArcPathParts SplitPathParts(std::string_view path) {
  std::string p(path);
  ToBackslashes(p);
  const size_t cut = rtl::FileNameStart(p);
  TArcPathParts parts;
  parts.FileName = p.substr(cut);
  parts.Folder = p.substr(0, cut);
  if (parts.Folder.find("\\\\") != std::string::npos) {
    // Up to the fourth backslash: "\\server\share".
    size_t seen = 0, at = parts.Folder.size();
    for (size_t k = 0; k < parts.Folder.size(); ++k)
      if (parts.Folder[k] == '\\' && ++seen == 4) {
        at = k;
        break;
      }
    parts.Drive = parts.Folder.substr(0, at);
    parts.Folder.erase(0, std::min(parts.Folder.size(), at + 1));
  } else if (const size_t colon = parts.Folder.find(':'); colon != std::string::npos) {
    parts.Drive = parts.Folder.substr(0, colon + 1);
    size_t drop = colon + 1;
    if (drop < parts.Folder.size() && parts.Folder[drop] == '\\') ++drop;
    parts.Folder.erase(0, drop);
  }
  return parts;
}

void RemoveDrive(std::string& path) {
  const TArcPathParts parts = SplitPathParts(path);
  path = parts.Folder + parts.FileName;
}

void RemoveLeadingParentRefs(std::string& path) {
  size_t at = 0;
  while (path.compare(at, 3, "..\\") == 0) at += 3;
  path.erase(0, at);
}

void ToBackslashes(std::string& path) {
  for (char& c : path)
    if (c == '/') c = '\\';
}

void ToForwardSlashes(std::string& path) {
  for (char& c : path)
    if (c == '\\') c = '/';
}

bool WildcardMatch(std::string_view text, std::string_view pattern) {
  const std::u16string t = rtl::Utf8ToUtf16(text);
  const std::u16string p = rtl::Utf8ToUtf16(pattern);
  return TWildcardMatcher(t, p).Match(0, 0);
}

bool NameMatchesMask(std::string_view name, std::string_view mask) {
  const std::u16string n = UpperAsciiUtf16(name);
  const std::u16string m = UpperAsciiUtf16(mask);
  auto split = [](const std::u16string& s) {
    const size_t at = s.find_last_of(u"\\:");
    return at == std::u16string::npos ? size_t{0} : at + 1;
  };
  const size_t mCut = split(m), nCut = split(n);
  if (mCut > 0 && !TWildcardMatcher(std::u16string_view(n).substr(0, nCut), std::u16string_view(m).substr(0, mCut))
                       .Match(0, 0))
    return false;
  return TWildcardMatcher(std::u16string_view(n).substr(nCut), std::u16string_view(m).substr(mCut)).Match(0, 0);
}

uint8_t PercentOf(int64_t total, int64_t done) {
  if (total <= 0) return 0;
  if (done >= total) return 100;
  if (done <= 0) return 0;
  if (done <= INT64_MAX / 100) return static_cast<uint8_t>(done * 100 / total);
  // Sizes near the 64-bit limit (no 128-bit type on 32-bit targets): dividing by a
  // hundredth of the total, rounded up, stays below 100 while done < total.
  return static_cast<uint8_t>(done / (total / 100 + (total % 100 != 0)));
}

int64_t FileSizeOf(const std::string& fileName) { return platform::FileSize(fileName); }

}  // namespace qelvo::archive
