#pragma once
// Path and name-mask rules of archive extraction. Paths are Windows-form text with "\" as
// the folder delimiter (stored ZIP names are turned from "/" first). Character counts
// and "?" in masks are UTF-16 code units, as the rules are defined over them.
#include <cstdint>
#include <string>
#include <string_view>

namespace qelvo::archive {

enum TArcPathType { ptNone = 0, ptRelative = 1, ptAbsolute = 2 };

// Absolute: contains ":" or "\\" anywhere; relative: contains "\" or "/"; else none.
TArcPathType GetPathType(std::string_view path);
// Appends "\" unless empty or already ending in "\" or ":".
std::string WithTrailingBackslash(std::string_view path);
// Drops one final "\"; a drive root (C:\) and a lone "\" keep it.
std::string WithoutTrailingBackslash(std::string path);
// The folder part of a path without its trailing delimiter; a drive root keeps it.
std::string FolderWithoutDelimiter(const std::string& path);
// Creates every missing level of dir (never the drive, server or share). A level that
// cannot be created raises EInOutError; levels created before stay.
void CreateDirectoryPath(const std::string& dir);
// UTF-16 units before the n-th backslash of s; the length of s when it has fewer.
int PositionOfNthBackslash(std::string_view s, int n);

struct TArcPathParts {
  std::string Drive;     // "C:" or "\\srv\share"
  std::string Folder;    // with its trailing backslash
  std::string FileName;  // after the last backslash or colon
};
TArcPathParts SplitPathParts(std::string_view path);
void RemoveDrive(std::string& path);
void RemoveLeadingParentRefs(std::string& path);
void ToBackslashes(std::string& path);
void ToForwardSlashes(std::string& path);

// Upper-cases a to z only; the folder part of the mask, when present, must match the
// folder part of the name; then the file-name parts must match.
bool NameMatchesMask(std::string_view name, std::string_view mask);
// "*" any run, "?" exactly one unit, other characters literally (case-sensitive). An
// empty text matches only an empty pattern; "*" and "*.*" match any non-empty text.
bool WildcardMatch(std::string_view text, std::string_view pattern);

// 0 when total <= 0, 100 when done >= total, else done * 100 / total.
uint8_t PercentOf(int64_t total, int64_t done);
// -1 when the file's attributes cannot be queried.
int64_t FileSizeOf(const std::string& fileName);

}  // namespace qelvo::archive
