#include "rtl/file_path.h"

namespace qelvo::rtl {

size_t FileNameStart(std::string_view path) {
  const size_t at = path.find_last_of("\\:");
  return at == std::string_view::npos ? 0 : at + 1;
}

std::string ExtractFilePath(std::string_view path) { return std::string(path.substr(0, FileNameStart(path))); }

std::string ExtractFileName(std::string_view path) { return std::string(path.substr(FileNameStart(path))); }

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  const size_t at = path.find_last_of(".\\:");
  const std::string_view stem = at != std::string_view::npos && path[at] == '.' ? path.substr(0, at) : path;
  return std::string(stem) + std::string(ext);
}

std::string IncludeTrailingBackslash(std::string_view path) {
  std::string r(path);
  if (r.empty() || r.back() != '\\') r += '\\';
  return r;
}

}  // namespace qelvo::rtl
