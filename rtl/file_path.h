#pragma once
// Windows-form path text: "\" separates folders and ":" ends a drive, and both count as
// delimiters when a path is split into its folder and file-name parts, as in the runtime
// library these helpers mirror. Nothing here touches the file system.
#include <string>
#include <string_view>

namespace qelvo::rtl {

// Index just past the last "\" or ":" of path; 0 when it has neither.
size_t FileNameStart(std::string_view path);
// The folder part of path up to and including its last "\" or ":"; "" when it has neither.
std::string ExtractFilePath(std::string_view path);
// The part after the last "\" or ":"; the whole path when it has neither.
std::string ExtractFileName(std::string_view path);
// path with its extension (from the last "." of the file-name part) replaced by ext, or
// with ext appended when the file name has no ".".
std::string ChangeFileExt(std::string_view path, std::string_view ext);
// path with a final "\" appended unless it already ends in one (so "" becomes "\").
std::string IncludeTrailingBackslash(std::string_view path);

}  // namespace qelvo::rtl
