#pragma once
// File-system operations on Windows-form paths. Failing calls return false / -1 and record
// the OS error (GetLastOSError); none of them raises.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rtl/date_time.h"

namespace qelvo::platform {

// File attribute bits in the Windows numbering.
enum : uint32_t {
  faReadOnly = 0x01,
  faHidden = 0x02,
  faSysFile = 0x04,
  faVolumeID = 0x08,
  faDirectory = 0x10,
  faArchive = 0x20,
  faNormal = 0x80,
};
inline constexpr uint32_t kInvalidAttributes = 0xFFFFFFFF;

bool DirectoryExists(const std::string& path);
bool FileExists(const std::string& path);  // a file, not a folder
// Creates the folder and its missing parents.
bool ForceDirectories(const std::string& path);
bool CreateDir(const std::string& path);
bool RemoveDir(const std::string& path);
bool DeleteFile(const std::string& path);
// Fails when the target exists, as the Windows call does.
bool RenameFile(const std::string& from, const std::string& to);
// Moves from onto to in one step, replacing a file (or a link, never what it points to)
// already there; both in the same folder.
bool ReplaceFile(const std::string& from, const std::string& to);
int64_t FileSize(const std::string& path);  // -1 when missing
uint32_t FileGetAttr(const std::string& path);  // kInvalidAttributes when missing
bool FileSetAttr(const std::string& path, uint32_t attributes);
// Sets the last-write time from a local date-time.
bool FileSetDate(const std::string& path, rtl::TDateTime localTime);
bool FileGetDate(const std::string& path, rtl::TDateTime& localTime);
// Free bytes available to the caller on the volume holding path; -1 on failure.
int64_t DiskFree(const std::string& path);

enum class TDriveType { Unknown = 0, NoRootDir = 1, Removable = 2, Fixed = 3, Remote = 4, CDRom = 5, RamDisk = 6 };
TDriveType GetDriveType(const std::string& root);
// Stands in for the system's drive-type answer while set (tests play removable media
// with it); an empty query restores the system's answer.
using TDriveTypeQuery = std::function<TDriveType(const std::string& root)>;
void SetDriveTypeQuery(TDriveTypeQuery query);

// The temporary folder, with a trailing backslash.
std::string GetTempPath();
// Creates a new empty file with a unique name in dir and returns its path, or "" on failure.
std::string GetTempFileName(const std::string& dir, const std::string& prefix);
// The running executable's folder, with a trailing backslash.
std::string ExeFolder();
// The current working folder, with a trailing backslash.
std::string CurrentFolder();

enum TSpecialFolder { CSIDL_DESKTOP = 0 };
// With a trailing backslash; "" when the folder cannot be determined.
std::string GetSpecialFolder(int csidl);

struct TDirEntry {
  std::string Name;
  bool IsDirectory = false;
  int64_t Size = 0;
};
// Entries of a folder, without "." and "..", sorted by name; false on failure.
bool ListDirectory(const std::string& path, std::vector<TDirEntry>& entries);

}  // namespace qelvo::platform
